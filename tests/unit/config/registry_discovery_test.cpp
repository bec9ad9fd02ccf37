#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "config/registry_discovery.h"
#include "unit/config/installation_printer.h"

namespace kestran {
namespace {

const std::string kArnaKey = "SOFTWARE\\Orvane\\KESTRAN-ARNA";
const std::string kVeskKey = "SOFTWARE\\Orvane\\KESTRAN-KAVESK";
const std::string kTolmKey = "SOFTWARE\\Orvane\\KESTRAN-TOLM";

using RegistryValue = std::variant<std::string, std::uint32_t>;
using RegistryContents = std::map<std::pair<std::string, std::string>, RegistryValue>;

// A registry of typed values; a read of the other type finds nothing, as the platform's
// type-restricted reads do. Every read is logged as "key:value".
struct FakeRegistry {
    RegistryContents values;
    std::vector<std::string> reads;

    template <typename T>
    std::optional<T> read(const std::string& key, const std::string& name) {
        reads.push_back(key + ":" + name);
        const auto found = values.find({key, name});
        if (found == values.end() || !std::holds_alternative<T>(found->second)) return std::nullopt;
        return std::get<T>(found->second);
    }

    RegistryAccess access(RegistryKeySet keySet = RegistryKeySet::Plain) {
        return RegistryAccess(
            keySet, [this](const std::string& k, const std::string& n) { return read<std::string>(k, n); },
            [this](const std::string& k, const std::string& n) { return read<std::uint32_t>(k, n); });
    }
};

struct DiscoveryCase {
    const char* name;
    RegistryContents values;
    InstallationTable expected;
};

void PrintTo(const DiscoveryCase& c, std::ostream* out) { *out << c.name; }

class Discovery : public testing::TestWithParam<DiscoveryCase> {};

TEST_P(Discovery, AddsTheInstalledEditions) {
    FakeRegistry registry{GetParam().values, {}};
    InstallationTable table;
    addRegistryInstallations(table, registry.access());
    EXPECT_EQ(table, GetParam().expected);
}

RegistryContents arna(RegistryValue patchId) {
    return {{{kArnaKey, "InstallPath"}, std::string("C:\\ARNA")}, {{kArnaKey, "InstallPatchID"}, patchId}};
}

INSTANTIATE_TEST_SUITE_P(
    Editions, Discovery,
    testing::Values(
        DiscoveryCase{"NoKeys", {}, {}},
        DiscoveryCase{"ArnaWithoutPatchId", {{{kArnaKey, "InstallPath"}, std::string("C:\\ARNA")}}, {}},
        DiscoveryCase{"ArnaPatchIdZero", arna(0u), {}},
        DiscoveryCase{"ArnaPatchIdStoredAsString", arna(std::string("1498")), {}},
        DiscoveryCase{"ArnaPatch1356", arna(1356u), {{"ARNA", {"C:\\ARNA", 0}}}},
        DiscoveryCase{"ArnaPatch1498", arna(1498u), {{"ARNA", {"C:\\ARNA", 0}}}},
        DiscoveryCase{"ArnaPatch1350", arna(1350u), {{"ARNA", {"C:\\ARNA", 1}}}},
        DiscoveryCase{"ArnaPatch1351", arna(1351u), {{"ARNA", {"C:\\ARNA", 1}}}},
        DiscoveryCase{"ArnaPatch1357", arna(1357u), {{"ARNA", {"C:\\ARNA", 1}}}},
        // An unknown patch level still shows the edition, with the code whose loader also
        // tries the other key variant.
        DiscoveryCase{"ArnaUnknownPatch", arna(4242u), {{"ARNA", {"C:\\ARNA", 0}}}},
        DiscoveryCase{"ArnaPatchWithoutPath", {{{kArnaKey, "InstallPatchID"}, 1498u}}, {}},
        DiscoveryCase{
            "ArnaEmptyPath", {{{kArnaKey, "InstallPath"}, std::string()}, {{kArnaKey, "InstallPatchID"}, 1498u}}, {}},
        DiscoveryCase{"VeskWhateverArnaHolds",
                      {{{kArnaKey, "InstallPatchID"}, 1498u}, {{kVeskKey, "InstallPath"}, std::string("D:\\VESK")}},
                      {{"VESK", {"D:\\VESK", 2}}}},
        DiscoveryCase{"TolmOnly", {{{kTolmKey, "InstallPath"}, std::string("E:\\TOLM")}}, {{"TOLM", {"E:\\TOLM", 3}}}},
        DiscoveryCase{"PathStoredAsNumberOrEmpty",
                      {{{kVeskKey, "InstallPath"}, 7u}, {{kTolmKey, "InstallPath"}, std::string()}},
                      {}},
        DiscoveryCase{"PathEndsAtItsTerminator",
                      {{{kTolmKey, "InstallPath"}, std::string("E:\\TOLM\0junk", 12)}},
                      {{"TOLM", {"E:\\TOLM", 3}}}},
        DiscoveryCase{"AllThree",
                      {{{kArnaKey, "InstallPath"}, std::string("C:\\ARNA")},
                       {{kArnaKey, "InstallPatchID"}, 1357u},
                       {{kVeskKey, "InstallPath"}, std::string("D:\\VESK")},
                       {{kTolmKey, "InstallPath"}, std::string("E:\\TOLM")}},
                      {{"ARNA", {"C:\\ARNA", 1}}, {"TOLM", {"E:\\TOLM", 3}}, {"VESK", {"D:\\VESK", 2}}}}),
    [](const testing::TestParamInfo<DiscoveryCase>& param) { return std::string(param.param.name); });

TEST(RegistryDiscovery, ReadsThePatchIdOnlyForAnInstalledFirstEdition) {
    FakeRegistry registry;
    InstallationTable table;
    addRegistryInstallations(table, registry.access());
    EXPECT_EQ(registry.reads, (std::vector<std::string>{kArnaKey + ":InstallPath", kVeskKey + ":InstallPath",
                                                        kTolmKey + ":InstallPath"}));
}

TEST(RegistryDiscovery, ReplacesEntriesOfTheSameName) {
    FakeRegistry registry{{{{kVeskKey, "InstallPath"}, std::string("D:\\VESK")}}, {}};
    InstallationTable table = {{"VESK", {"X:\\old", 0}}, {"vesk", {"X:\\other", 3}}};
    addRegistryInstallations(table, registry.access());
    EXPECT_EQ(table, (InstallationTable{{"VESK", {"D:\\VESK", 2}}, {"vesk", {"X:\\other", 3}}}));
}

TEST(RegistryDiscovery, EditionIndexOutsideTheTableReadsNothing) {
    FakeRegistry registry{arna(1498u), {}};
    EXPECT_EQ(readInstallPath(-1, registry.access()), "");
    EXPECT_EQ(readInstallPath(3, registry.access()), "");
    EXPECT_TRUE(registry.reads.empty());
    EXPECT_EQ(readInstallPath(0, registry.access()), "C:\\ARNA");
    EXPECT_EQ(readInstallPatchId(registry.access()), 1498u);
}

TEST(RegistryDiscovery, KeySetsNameTheSameKeysWithAndWithoutWow6432Node) {
    const std::vector<std::pair<std::string, std::string>> keys = {
        {"SOFTWARE\\Wow6432Node\\Orvane\\KESTRAN-ARNA", kArnaKey},
        {"SOFTWARE\\Wow6432Node\\Orvane\\KESTRAN-KAVESK", kVeskKey},
        {"SOFTWARE\\Wow6432Node\\Orvane\\KESTRAN-TOLM", kTolmKey},
    };
    for (int edition = 0; edition < 3; ++edition) {
        EXPECT_EQ(editionKeyPath(RegistryKeySet::Wow6432Node, edition), keys[edition].first);
        EXPECT_EQ(editionKeyPath(RegistryKeySet::Plain, edition), keys[edition].second);
    }

    // Values under the plain paths are invisible through the Wow6432Node key set.
    FakeRegistry registry{arna(1498u), {}};
    InstallationTable table;
    addRegistryInstallations(table, registry.access(RegistryKeySet::Wow6432Node));
    EXPECT_TRUE(table.empty());
    EXPECT_EQ(registry.reads.front(), keys[0].first + ":InstallPath");
}

TEST(RegistryDiscovery, SixtyFourBitBuildsReadTheWow6432NodeKeys) {
    EXPECT_EQ(buildRegistryKeySet(), sizeof(void*) == 8 ? RegistryKeySet::Wow6432Node : RegistryKeySet::Plain);
}

#ifndef _WIN32
TEST(RegistryDiscovery, PosixHasNoRegistry) {
    InstallationTable table;
    addRegistryInstallations(table);
    EXPECT_TRUE(table.empty());
}
#endif

}  // namespace
}  // namespace kestran
