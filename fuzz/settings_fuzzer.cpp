// The settings file reader: arbitrary text as kestran.ini.
//
// Input: the file's text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/settings.h"
#include "fuzz_support.h"

namespace {
// Texts a little over the reader's own limit reach its refusal.
constexpr std::size_t kMaxInput = kestran::kMaxSettingsSize + 4096;
const char* const kRegistryEdition = "REGISTRY";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxInput) return -1;
    kestran::fuzz::MemoryStream in(data, size);
    kestran::InstallationTable table;
    int registrySearches = 0;
    const kestran::RegistryStep registry = [&](kestran::InstallationTable& into) {
        ++registrySearches;
        kestran::setInstallation(into, kRegistryEdition, kestran::Installation{"C:\\Registry", 2});
    };

    const kestran::SettingsOutcome outcome = kestran::applySettings(in, table, registry);

    FUZZ_CHECK(registrySearches == (outcome.registrySearched ? 1 : 0));
    // A rejected text counts as an empty one: the registry is searched, nothing else.
    if (!outcome.accepted) FUZZ_CHECK(outcome.registrySearched && table.size() == 1);
    for (const auto& entry : table) {
        FUZZ_CHECK(!entry.first.empty());
        FUZZ_CHECK(entry.first.find('.') == std::string::npos);
        FUZZ_CHECK(entry.second.versionCode >= 0 && entry.second.versionCode <= 3);
        FUZZ_CHECK(entry.second.rootPath.find_first_of("=|") == std::string::npos);
    }
    return 0;
}
