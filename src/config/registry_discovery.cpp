#include "config/registry_discovery.h"

#include <utility>

#include "platform/platform.h"

namespace kestran {

namespace {

constexpr int kEditionCount = 3;

// By edition index: ARNA, VESK, TOLM.
constexpr const char* kWow6432NodeKeys[kEditionCount] = {
    "SOFTWARE\\Wow6432Node\\Orvane\\KESTRAN-ARNA",
    "SOFTWARE\\Wow6432Node\\Orvane\\KESTRAN-KAVESK",
    "SOFTWARE\\Wow6432Node\\Orvane\\KESTRAN-TOLM",
};
constexpr const char* kPlainKeys[kEditionCount] = {
    "SOFTWARE\\Orvane\\KESTRAN-ARNA",
    "SOFTWARE\\Orvane\\KESTRAN-KAVESK",
    "SOFTWARE\\Orvane\\KESTRAN-TOLM",
};

constexpr const char* kInstallPathValue = "InstallPath";
constexpr const char* kInstallPatchIdValue = "InstallPatchID";

constexpr int kFirstEdition = 0;
constexpr int kSecondEdition = 1;
constexpr int kThirdEdition = 2;
constexpr std::int32_t kSecondEditionVersionCode = 2;
constexpr std::int32_t kThirdEditionVersionCode = 3;

}  // namespace

RegistryKeySet buildRegistryKeySet() {
    return sizeof(void*) == 8 ? RegistryKeySet::Wow6432Node : RegistryKeySet::Plain;
}

std::string editionKeyPath(RegistryKeySet keySet, int editionIndex) {
    if (editionIndex < 0 || editionIndex >= kEditionCount) {
        return {};
    }
    return keySet == RegistryKeySet::Wow6432Node ? kWow6432NodeKeys[editionIndex] : kPlainKeys[editionIndex];
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
    const std::string arnaPath = readInstallPath(kFirstEdition, access);
    if (!arnaPath.empty()) {
        // The patch level is read only for an edition that is installed.
        if (const auto versionCode = firstEditionVersionCode(readInstallPatchId(access))) {
            setInstallation(table, "ARNA", Installation{arnaPath, *versionCode});
        }
    }
    const std::string veskPath = readInstallPath(kSecondEdition, access);
    if (!veskPath.empty()) {
        setInstallation(table, "VESK", Installation{veskPath, kSecondEditionVersionCode});
    }
    const std::string tolmPath = readInstallPath(kThirdEdition, access);
    if (!tolmPath.empty()) {
        setInstallation(table, "TOLM", Installation{tolmPath, kThirdEditionVersionCode});
    }
}

}  // namespace kestran
