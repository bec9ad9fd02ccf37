#include "plugin/properties.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory_set.h"
#include "plugin/host_types.h"
#include "plugin/verbs.h"

namespace kestran::plugin {
namespace {

using testing::MemorySet;

// Names handed over as their bytes (names that are not UTF-8 have cases in the host suite).
const kestran_db::ShownNames kAsBytes{};

// wall.dds lies in P, Q and R (read in that order), twice in Q.
std::shared_ptr<kestran_db::KestranDB> threeArchiveSet() {
    return MemorySet()
        .archive("/g/p.db0", 1)
        .archive("/g/q.db1", 2)
        .archive("/g/r.db2", 3)
        .record(0, "\\ARNA\\textures\\wall.dds", 10)
        .record(1, "\\ARNA\\textures\\wall.dds", 20)
        .record(1, "\\ARNA\\textures\\wall.dds", 21)
        .record(2, "\\ARNA\\textures\\wall.dds", 30)
        .record(2, "\\ARNA\\docs\\")
        .record(1, "\\ARNA\\docs\\it's.txt", 5)
        .build();
}

TEST(Properties, ListsEveryOccurrenceFromTheHighestPriorityDown) {
    const auto set = threeArchiveSet();
    const PropertiesView wall = propertiesOf(*set, "\\ARNA\\textures\\wall.dds");
    EXPECT_EQ(wall.path, "\\ARNA\\textures\\wall.dds");
    EXPECT_EQ(wall.size, 30u);
    EXPECT_EQ(wall.archives, (std::vector<std::string>{"/g/r.db2", "/g/q.db1", "/g/q.db1", "/g/p.db0"}));

    // A directory no record names shows its placeholder: size 0, the first archive.
    const PropertiesView textures = propertiesOf(*set, "\\ARNA\\textures");
    EXPECT_EQ(textures.size, 0u);
    EXPECT_EQ(textures.archives, (std::vector<std::string>{"/g/p.db0"}));

    const PropertiesView docs = propertiesOf(*set, "\\ARNA\\docs");
    EXPECT_EQ(docs.archives, (std::vector<std::string>{"/g/r.db2"}));
}

TEST(Properties, PathTheTreeDoesNotHoldHasNothingToShowAndIsNotAdded) {
    const auto set = threeArchiveSet();
    const PropertiesView missing = propertiesOf(*set, "\\ARNA\\missing.txt");
    EXPECT_EQ(missing.path, "\\ARNA\\missing.txt");
    EXPECT_FALSE(missing.size);
    EXPECT_TRUE(missing.archives.empty());
    EXPECT_FALSE(set->hasNode("\\ARNA\\missing.txt"));
}

TEST(Properties, FormTextCarriesCaptionLabelsValuesAndArchivesInOrder) {
    PropertiesView view{"\\ARNA\\docs\\it's.txt", 5u, {"/g/r.db2", "/g/q\x01.db1"}};
    const std::string form = propertiesFormText(view);
    EXPECT_EQ(form.rfind("object DialogBox: TDialogBox\n", 0), 0u);
    std::size_t at = 0;
    for (const std::string piece :
         {"Caption = 'File Properties'", "Caption = 'Close'", "Caption = 'File name:'", "Caption = 'File size:'",
          "Caption = 'Archive files (descending priority order):'", "'/g/r.db2'", "'/g/q'#1'.db1'",
          "Caption = '\\ARNA\\docs\\it''s.txt'", "Caption = '5'"}) {
        const std::size_t found = form.find(piece, at);
        ASSERT_NE(found, std::string::npos) << piece << "\n" << form;
        at = found + piece.size();
    }

    const std::string text = propertiesMessageText(view);
    EXPECT_EQ(text,
              "File name: \\ARNA\\docs\\it's.txt\nFile size: 5\n"
              "Archive files (descending priority order):\n/g/r.db2\n/g/q\x01.db1");
}

class VerbsTest : public ::testing::Test {
protected:
    VerbsTest() : sets([](const std::string&, std::int32_t, const std::string&) { return threeArchiveSet(); }) {
        sets.findOrLoad("ARNA", Installation{"/g", 2});
    }
    int execute(const std::string& path, const std::string& verb) {
        return executeVerb(path, verb, sets, kAsBytes, [this](const PropertiesView& view) {
            shown.push_back(view);
            return FS_EXEC_OK;
        });
    }
    GuardedSets sets;
    std::vector<PropertiesView> shown;
};

TEST_F(VerbsTest, ResultsForEachVerbAndPath) {
    struct Case {
        const char* path;
        const char* verb;
        int result;
    };
    const Case cases[] = {
        {"\\nowhere\\at\\all", "open", FS_EXEC_YOURSELF},
        {"no backslash", "open", FS_EXEC_YOURSELF},
        {"\\ARNA", "properties", FS_EXEC_YOURSELF},
        {"\\VESK", "properties", FS_EXEC_YOURSELF},
        {"\\TOLM", "chmod 644", FS_EXEC_YOURSELF},
        {"\\ARNA\\textures\\wall.dds", "Properties", FS_EXEC_ERROR},
        {"\\ARNA\\textures\\wall.dds", "chmod 644", FS_EXEC_ERROR},
        {"\\ARNA\\textures\\wall.dds", "quote dir", FS_EXEC_ERROR},
        {"ARNA\\textures\\wall.dds", "properties", FS_EXEC_ERROR},
        {"\\OTHER\\x", "properties", FS_EXEC_ERROR},  // never listed, so not loaded
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " / " + c.verb);
        EXPECT_EQ(execute(c.path, c.verb), c.result);
    }
    EXPECT_TRUE(shown.empty());
}

TEST_F(VerbsTest, PropertiesShowsTheEntryOnceAndTheHostResultComesBack) {
    EXPECT_EQ(execute("\\ARNA\\textures\\wall.dds", "properties"), FS_EXEC_OK);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].path, "\\ARNA\\textures\\wall.dds");
    EXPECT_EQ(shown[0].size, 30u);
    EXPECT_EQ(shown[0].archives.front(), "/g/r.db2");

    // A host that cannot show it reports the failure.
    EXPECT_EQ(
        executeVerb("\\ARNA\\docs", "properties", sets, kAsBytes, [](const PropertiesView&) { return FS_EXEC_ERROR; }),
        FS_EXEC_ERROR);
}

}  // namespace
}  // namespace kestran::plugin
