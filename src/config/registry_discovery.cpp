#include "config/registry_discovery.h"

#include <utility>

#include "config/editions.h"
#include "platform/platform.h"

namespace kestran {

namespace {

constexpr const char* kWow6432NodePrefix = "SOFTWARE\\Wow6432Node\\";
constexpr const char* kPlainPrefix = "SOFTWARE\\";

constexpr const char* kInstallPathValue = "InstallPath";
constexpr const char* kInstallPatchIdValue = "InstallPatchID";

constexpr int kFirstEdition = 0;

}  // namespace

RegistryKeySet buildRegistryKeySet() {
    return sizeof(void*) == 8 ? RegistryKeySet::Wow6432Node : RegistryKeySet::Plain;
}

std::string editionKeyPath(RegistryKeySet keySet, int editionIndex) {
    if (editionIndex < 0 || editionIndex >= kEditionCount) {
        return {};
    }
    return std::string(keySet == RegistryKeySet::Wow6432Node ? kWow6432NodePrefix : kPlainPrefix) +
           kEditions[editionIndex].registryKey;
}

RegistryAccess::RegistryAccess()
    : RegistryAccess(buildRegistryKeySet(), platform::readRegistryString, platform::readRegistryDword) {}

RegistryAccess::RegistryAccess(RegistryKeySet keys, StringReader stringReader, DwordReader dwordReader)
    : keySet(keys), readString(std::move(stringReader)), readDword(std::move(dwordReader)) {}

std::string readInstallPath(int editionIndex, const RegistryAccess& access) {
    const std::string keyPath = editionKeyPath(access.keySet, editionIndex);
    if (keyPath.empty() || !access.readString) {
        return {};
    }
    std::optional<std::string> value = access.readString(keyPath, kInstallPathValue);
    if (!value) {
        return {};
    }
    // A registry string ends at its terminating zero.
    const std::size_t nul = value->find('\0');
    if (nul != std::string::npos) value->resize(nul);
    return *value;
}

std::uint32_t readInstallPatchId(const RegistryAccess& access) {
    if (!access.readDword) return 0;
    return access.readDword(editionKeyPath(access.keySet, kFirstEdition), kInstallPatchIdValue).value_or(0);
}

std::optional<std::int32_t> firstEditionVersionCode(std::uint32_t installPatchId) {
    switch (installPatchId) {
        case 0:
            return std::nullopt;
        case 1356:
        case 1498:
            return 0;
        case 1350:
        case 1351:
        case 1357:
            return 1;
        default:
            return 0;
    }
}

void addRegistryInstallations(InstallationTable& table, const RegistryAccess& access) {
    // The editions are independent of one another.
    for (int index = 0; index < kEditionCount; ++index) {
        const Edition& edition = kEditions[index];
        const std::string path = readInstallPath(index, access);
        if (path.empty()) continue;
        // The first edition's patch level is read only when it is installed.
        const std::optional<std::int32_t> versionCode =
            edition.versionCode ? edition.versionCode : firstEditionVersionCode(readInstallPatchId(access));
        if (versionCode) setInstallation(table, edition.name, Installation{path, *versionCode});
    }
}

}  // namespace kestran
