#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "config/settings.h"
#include "platform/platform.h"
#include "unit/config/installation_printer.h"

namespace kestran {
namespace {

// A registry step that stands in for the installed editions and records that it ran.
struct FakeRegistry {
    InstallationTable entries;
    int runs = 0;

    RegistryStep step() {
        return [this](InstallationTable& table) {
            ++runs;
            for (const auto& [name, installation] : entries) setInstallation(table, name, installation);
        };
    }
};

FakeRegistry twoEditions() {
    FakeRegistry registry;
    registry.entries = {{"ARNA", {"R:\\arna", 1}}, {"VESK", {"R:\\vesk", 2}}};
    return registry;
}

struct SettingsCase {
    const char* name;
    std::string text;
    InstallationTable expected;  // with the registry's ARNA (R:\arna, 1) and VESK (R:\vesk, 2)
    bool registrySearched;
};

const InstallationTable kRegistryOnly = {{"ARNA", {"R:\\arna", 1}}, {"VESK", {"R:\\vesk", 2}}};

InstallationTable withRegistry(InstallationTable extra) {
    InstallationTable table = kRegistryOnly;
    for (auto& [name, installation] : extra) table.insert_or_assign(name, installation);
    return table;
}

void PrintTo(const SettingsCase& c, std::ostream* out) { *out << c.name; }

class SettingsText : public testing::TestWithParam<SettingsCase> {};

TEST_P(SettingsText, GivesTheInstallationTable) {
    const SettingsCase& c = GetParam();
    FakeRegistry registry = twoEditions();
    InstallationTable table;
    std::istringstream in(c.text);

    const SettingsOutcome outcome = applySettings(in, table, registry.step());

    EXPECT_TRUE(outcome.accepted);
    EXPECT_EQ(outcome.registrySearched, c.registrySearched);
    EXPECT_EQ(registry.runs, c.registrySearched ? 1 : 0);
    EXPECT_EQ(table, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SettingsText,
    testing::Values(
        SettingsCase{"EmptyTextSearchesTheRegistry", "", kRegistryOnly, true},
        SettingsCase{"Example",
                     "[main]\nuse_registry = false\n[installations]\n"
                     "ARNA = 3312|D:\\Games\\ARNA\nTOLM = 3967=E:\\Games\\TOLM\n",
                     {{"ARNA", {"D:\\Games\\ARNA", 0}}, {"TOLM", {"E:\\Games\\TOLM", 3}}},
                     false},
        SettingsCase{"UseRegistryBeforeAnySection",
                     "main.use_registry = false\n[installations]\nX = 3795|C:\\x\n",
                     {{"X", {"C:\\x", 2}}},
                     false},
        SettingsCase{"MainSectionIsCaseSensitive", "[Main]\nuse_registry = false\n", kRegistryOnly, true},
        SettingsCase{"InstallationsSectionIgnoresCase",
                     "[main]\nuse_registry=no\n[Installations]\nA = 3312|C:\\a\n[INSTALLATIONS]\nB = 3312en|C:\\b\n"
                     "installations.C = 3312ww|C:\\c\n",
                     {{"A", {"C:\\a", 0}}, {"B", {"C:\\b", 1}}},
                     false},
        SettingsCase{"EitherSeparator", "[installations]\nA = 3312=D:\\x\nB = 3312|D:\\x\n",
                     withRegistry({{"A", {"D:\\x", 0}}, {"B", {"D:\\x", 0}}}), true},
        SettingsCase{"UnusableValuesAreSkipped",
                     "[installations]\nBlank = 3312 | D:\\x\nThree = 3312||D:\\x\nFour = 3312|D:\\x|y\n"
                     "Upper = 3312RU|D:\\x\nUnknown = 1234|D:\\x\nEmpty =\nNoPath = 3967\n",
                     kRegistryOnly, true},
        SettingsCase{"EmptyRootPathIsKept", "[installations]\nA = 3967|\n", withRegistry({{"A", {"", 3}}}), true},
        SettingsCase{"InstallationNames",
                     "[installations]\nMy.Game = 3312|D:\\x\nMy Game = 3312|D:\\My Games\\x\narna = 3795|D:\\y\n",
                     withRegistry({{"My Game", {"D:\\My Games\\x", 0}}, {"arna", {"D:\\y", 2}}}), true},
        SettingsCase{"TopLevelKeyWithoutPointIsSkipped", "X = 3312|D:\\x\n", kRegistryOnly, true},
        SettingsCase{"HashStartsAComment", "# settings\n[installations]\nA = 3312|D:\\Games#1\\a\n",
                     withRegistry({{"A", {"D:\\Games", 0}}}), true},
        SettingsCase{"LaterLineWinsAndReplacesTheRegistry",
                     "[installations]\nA = 3312|D:\\first\nA = 3967|D:\\second\nARNA = 3312us|D:\\mine\n",
                     withRegistry({{"A", {"D:\\second", 3}}, {"ARNA", {"D:\\mine", 1}}}), true},
        SettingsCase{"SkippedLineLeavesTheEarlierEntry",
                     "[installations]\nA = 3312|D:\\first\nA = 9999|D:\\second\nVESK = 3795 |D:\\vesk\n",
                     withRegistry({{"A", {"D:\\first", 0}}}), true},
        SettingsCase{"OtherKeysAreIgnored", "[main]\nlanguage = en\n[other]\nA = 3312|D:\\x\n", kRegistryOnly, true}),
    [](const testing::TestParamInfo<SettingsCase>& param) { return std::string(param.param.name); });

TEST(Settings, BooleanWordsOfUseRegistry) {
    const std::vector<std::pair<std::string, bool>> words = {
        {"false", false}, {"FALSE", false}, {"no", false}, {"Off", false}, {"0", false},
        {"true", true},   {"YES", true},    {"on", true},  {"1", true},    {"", true},
    };
    for (const auto& [word, searched] : words) {
        FakeRegistry registry;
        InstallationTable table;
        std::istringstream in("[main]\nuse_registry = " + word + "\n");
        EXPECT_EQ(applySettings(in, table, registry.step()).registrySearched, searched) << word;
        EXPECT_EQ(registry.runs, searched ? 1 : 0) << word;
    }
}

TEST(Settings, BuildStrings) {
    const std::vector<std::pair<std::string, std::optional<std::int32_t>>> builds = {
        {"3312", 0},
        {"3312ru", 0},
        {"3312en", 1},
        {"3312ww", 1},
        {"3312us", 1},
        {"3795", 2},
        {"3967", 3},
        {"3312RU", std::nullopt},
        {" 3312", std::nullopt},
        {"", std::nullopt},
        {"33120", std::nullopt},
    };
    for (const auto& [build, code] : builds) EXPECT_EQ(versionCodeForBuild(build), code) << build;
}

TEST(Settings, EntriesAreNeverRemoved) {
    FakeRegistry registry;
    InstallationTable table = {{"OLD", {"C:\\old", 0}}};
    std::istringstream in("[installations]\nNEW = 3967|C:\\new\n");
    applySettings(in, table, registry.step());
    EXPECT_EQ(table, (InstallationTable{{"NEW", {"C:\\new", 3}}, {"OLD", {"C:\\old", 0}}}));
}

// The code page of names that are not UTF-8: the one named, the default for a name that
// is no codec, and the default for a text that is rejected (the option given twice).
TEST(Settings, NameEncoding) {
    struct Case {
        const char* text;
        const char* codec;
        bool accepted;
    };
    const Case cases[] = {
        {"", NameCodec::kDefault, true},
        {"[main]\nname_encoding = CP1252\n", "CP1252", true},
        {"[main]\nname_encoding = windows-1250\n[installations]\nA = 3312|D:\\a\n", "CP1250", true},
        {"main.name_encoding = none\n", "none", true},
        {"[main]\nname_encoding = NONE\n", "none", true},
        {"[main]\nname_encoding = koi8-r\n", NameCodec::kDefault, true},
        {"[main]\nname_encoding =\n", NameCodec::kDefault, true},
        {"[Main]\nname_encoding = CP1252\n", NameCodec::kDefault, true},
        {"[main]\nname_encoding = CP1252\nname_encoding = CP1250\n", NameCodec::kDefault, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        FakeRegistry registry;
        InstallationTable table;
        std::istringstream in(c.text);
        const SettingsOutcome outcome = applySettings(in, table, registry.step());
        EXPECT_EQ(outcome.accepted, c.accepted);
        EXPECT_EQ(outcome.nameCodec.name(), c.codec);
    }
}

// A text the parser rejects contributes nothing, even its valid lines; it counts as an
// empty file, so what the table holds stays and the registry is searched.
TEST(Settings, RejectedTextCountsAsEmpty) {
    const std::vector<std::string> texts = {
        "[installations]\nA = 3312|D:\\a\nthis line has no equals sign\n",
        "[main]\nuse_registry = false\n[installations]\nA = 3312|D:\\a\n[main]\nuse_registry = maybe\n",
        "main.use_registry = false\n[main]\nuse_registry = false\n[installations]\nA = 3312|D:\\a\n",
        "[installations\nA = 3312|D:\\a\n",
    };
    for (const std::string& text : texts) {
        FakeRegistry registry = twoEditions();
        InstallationTable table = {{"ARNA", {"C:\\earlier", 0}}, {"OLD", {"C:\\old", 0}}};
        std::istringstream in(text);

        const SettingsOutcome outcome = applySettings(in, table, registry.step());

        EXPECT_FALSE(outcome.accepted) << text;
        EXPECT_TRUE(outcome.registrySearched) << text;
        EXPECT_EQ(table, withRegistry({{"OLD", {"C:\\old", 0}}})) << text;
    }
}

// The parser keeps every line it takes, so the text it is given is bounded: one byte
// over the limit is refused like a text the parser rejects, and nothing past it is read.
TEST(Settings, TextOverTheSizeLimitIsRefusedWhole) {
    const std::string head = "[installations]\nA = 3312|D:\\a\n";
    const std::string tail = "B = 3312|D:\\b\n";
    for (const std::size_t size : {kMaxSettingsSize, kMaxSettingsSize + 1}) {
        const bool fits = size == kMaxSettingsSize;
        // A comment pads the text to exactly `size` bytes.
        const std::string text = head + "#" + std::string(size - head.size() - tail.size() - 2, 'x') + "\n" + tail;
        ASSERT_EQ(text.size(), size);
        FakeRegistry registry = twoEditions();
        InstallationTable table;
        // What follows an oversized text is never read.
        std::istringstream in(fits ? text : text + "C = 3312|D:\\c\n");

        const SettingsOutcome outcome = applySettings(in, table, registry.step());

        EXPECT_EQ(outcome.accepted, fits) << size;
        EXPECT_TRUE(outcome.registrySearched) << size;
        EXPECT_EQ(table, fits ? withRegistry({{"A", {"D:\\a", 0}}, {"B", {"D:\\b", 0}}}) : kRegistryOnly) << size;
        if (!fits) {
            EXPECT_EQ(in.tellg(), static_cast<std::streamoff>(kMaxSettingsSize + 1));
        }
    }
}

TEST(SettingsFile, MissingFileReadsAsEmpty) {
    FakeRegistry registry = twoEditions();
    InstallationTable table;
    const SettingsOutcome outcome =
        applySettingsFile(testing::TempDir() + "no-such-dir/kestran.ini", table, registry.step());
    EXPECT_TRUE(outcome.accepted);
    EXPECT_TRUE(outcome.registrySearched);
    EXPECT_EQ(table, kRegistryOnly);
}

TEST(SettingsFile, IsFoundBesideTheModule) {
    // The plug-in's own folder, the system's separator, then the settings file's name.
    const std::string beside = settingsPathFor("/opt/dc/plugins/kestran.wfx");
    EXPECT_EQ(beside.substr(0, 15), "/opt/dc/plugins");
    EXPECT_EQ(beside.size(), 15u + 1u + 11u);
    EXPECT_EQ(beside.substr(16), "kestran.ini");

    // The module here is the test program; put a settings file beside it for the run.
    const std::string path = settingsPathFor(platform::modulePath(nullptr));
    if (std::ifstream(path).is_open()) GTEST_SKIP() << path << " exists already";
    {
        std::ofstream out(path);
        out << "[main]\nuse_registry = false\nname_encoding = CP1257\n[installations]\nTOLM = 3967|/games/tolm\n";
    }
    FakeRegistry registry = twoEditions();
    InstallationTable table;
    const std::optional<SettingsOutcome> loaded = loadSettings(nullptr, table, registry.step());
    std::remove(path.c_str());

    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->nameCodec.name(), "CP1257");
    EXPECT_EQ(registry.runs, 0);
    EXPECT_EQ(table, (InstallationTable{{"TOLM", {"/games/tolm", 3}}}));
}

}  // namespace
}  // namespace kestran
