#include "installation/loader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/failure.h"
#include "installation/kestran_db.h"
#include "installation_fixture.h"

namespace kestran_db {
namespace {

using testing::ArchiveBuilder;

class Loader : public testing::TempFolder {
protected:
    std::shared_ptr<KestranDB> load(std::int32_t versionCode, const std::string& rootPath = "") {
        return loadInstallation(rootPath.empty() ? root.string() : rootPath, versionCode, "\\ARNA\\");
    }

    // The archives' paths relative to the temporary folder, in priority order.
    std::vector<std::string> archiveNames(const KestranDB& set) {
        std::vector<std::string> names;
        const std::string base = lowered(root.string());
        for (const ArchiveFile& a : set.archives()) {
            const std::string& name = a.path;
            names.push_back(name.compare(0, base.size(), base) == 0 ? name.substr(base.size() + 1) : name);
        }
        return names;
    }

    static std::string lowered(std::string text) {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return text;
    }

    std::string failureOf(std::int32_t versionCode) {
        try {
            load(versionCode);
        } catch (const kestran::Failure& f) {
            return f.what();
        }
        return "(loaded)";
    }

    static ArchiveBuilder holding(const std::string& name, const std::string& contents, std::uint32_t versionCode) {
        ArchiveBuilder builder(versionCode);
        builder.storedFile(name, bytes(contents));
        return builder;
    }

    static const FileLocation& winner(const KestranDB& set, const std::string& path) {
        return *set.findNode(path)->winner();
    }
};

TEST_F(Loader, RootArchivesAreReadInLowerCasedPathOrder) {
    writeArchive("b.db0", holding("shared.txt", "from b", 0));
    writeArchive("A.DB1", holding("shared.txt", "from a", 0));
    writeArchive("patch.db5", holding("shared.txt", "from patch", 0));
    writeArchive("notes.txt", holding("ignored.txt", "not an archive", 0));

    const auto set = load(0);
    EXPECT_EQ(archiveNames(*set), (std::vector<std::string>{"a.db1", "b.db0", "patch.db5"}));
    const FileNode* node = set->findNode("\\ARNA\\shared.txt");
    ASSERT_NE(node, nullptr);
    ASSERT_EQ(node->locations().size(), 3u);
    EXPECT_EQ(winner(*set, "\\ARNA\\shared.txt").archive, &set->archives()[2]);
    EXPECT_EQ(set->findNode("\\ARNA\\ignored.txt"), nullptr);
    // Completed: the top directory lists the file.
    ASSERT_EQ(set->findNode("\\ARNA")->children().size(), 1u);
}

TEST_F(Loader, TrailingBackslashOfTheRootGivesTheSamePaths) {
    writeArchive("a.db0", holding("x.txt", "x", 0));
    const auto set = load(0, root.string() + "\\");
    EXPECT_EQ(archiveNames(*set), (std::vector<std::string>{"a.db0"}));
    EXPECT_EQ(set->archives()[0].path, lowered(root.string()) + "\\a.db0");
    EXPECT_EQ(set->rootPath(), root.string() + "\\");
}

TEST_F(Loader, OtherKeyVariantIsTriedAndTheNextArchiveStartsAgain) {
    writeArchive("a.db0", holding("one.txt", "1", 1));  // only key variant 1 reads it
    writeArchive("b.db0", holding("two.txt", "2", 0));
    const auto set = load(0);
    EXPECT_NE(set->findNode("\\ARNA\\one.txt"), nullptr);
    EXPECT_NE(set->findNode("\\ARNA\\two.txt"), nullptr);
    EXPECT_EQ(set->tree().size(), 4u);  // root, top directory and the two files: nothing stray
}

TEST_F(Loader, UnreadableArchivesFailTheLoad) {
    writeArchive("a.db0", holding("x.txt", "x", 2));
    writeText("data/broken.db0", "not an archive at all");
    writeText("fsgame.ltx", "$data$=true|false|$fs_root$|data\\\n");
    EXPECT_EQ(failureOf(2), "error");
    EXPECT_EQ(failureOf(3), "error");
    // Scrambled layouts report the second attempt's message.
    writeArchive("a.db0", holding("x.txt", "x", 0));
    writeText("c.db0", "xxxxxx");
    EXPECT_EQ(failureOf(0), "error reading offset field");

    // A folder whose name matches is taken for an archive and cannot be read.
    boost::filesystem::remove(root / "c.db0");
    boost::filesystem::create_directories(root / "folder.db");
    EXPECT_EQ(failureOf(0), "error reading flag field");
}

TEST_F(Loader, FsgameDirectoriesAreSearchedInLineOrder) {
    writeArchive("root.db0", holding("x.txt", "root", 3));
    writeArchive("data/z.db0", holding("x.txt", "data z", 3));
    writeArchive("data/a.db0", holding("x.txt", "data a", 3));
    writeText("fsgame.ltx",
              "; comment\r\n"
              "$base$ = false | false | $fs_root$\r\n"
              "$packs$ = true | false | $base$ | data\\\r\n");
    const auto set = load(3);
    EXPECT_EQ(archiveNames(*set), (std::vector<std::string>{"root.db0", "data\\a.db0", "data\\z.db0"}));
    EXPECT_EQ(winner(*set, "\\ARNA\\x.txt").archive, &set->archives()[2]);
}

TEST_F(Loader, DirectoryNamedTwiceIsReadTwice) {
    writeArchive("data/a.db0", holding("x.txt", "x", 2));
    writeText("fsgame.ltx", "$a$=true|true|$fs_root$|data\n$b$=false|false|$fs_root$|data\\\n");
    const auto set = load(2);
    ASSERT_EQ(set->archives().size(), 2u);
    EXPECT_EQ(set->findNode("\\ARNA\\x.txt")->locations().size(), 2u);
}

// fsgame.ltx may name one directory up to 1,024 times, and each line reads its
// archives again: the records of one installation are bounded in all.
TEST_F(Loader, RecordsMultipliedPastTheBudgetFailTheLoad) {
    ArchiveBuilder many(2);
    for (int i = 0; i < 100; ++i) many.storedFile("f" + std::to_string(i) + ".txt", testing::TempFolder::bytes("x"));
    writeArchive("data/a.db0", many);
    std::string lines;
    for (int i = 0; i < 1024; ++i) lines += "$d" + std::to_string(i) + "$=true|false|$fs_root$|data\n";
    writeText("fsgame.ltx", lines);
    try {
        loadInstallation(root.string(), 2, "\\ARNA\\", 10000);
        ADD_FAILURE() << "loaded past the budget";
    } catch (const kestran::Failure& f) {
        EXPECT_EQ(std::string(f.what()), "installation holds more than 10000 records in all its archives");
    }
    // Exactly the budget still loads.
    writeText("fsgame.ltx", lines.substr(0, lines.size() / 1024 * 100));
    const auto set = loadInstallation(root.string(), 2, "\\ARNA\\", 10000);
    EXPECT_EQ(set->findNode("\\ARNA\\f7.txt")->locations().size(), 100u);
}

TEST_F(Loader, PathsFromWindowsHabitsResolveWithoutRegardToCase) {
    writeArchive("Data/Patches/A.db0", holding("x.txt", "x", 2));
    writeText("fsgame.ltx", "$p$=true|false|$fs_root$|DATA\\patches\\\n");
    const auto set = load(2);
    ASSERT_EQ(archiveNames(*set), (std::vector<std::string>{"data\\patches\\a.db0"}));
    EXPECT_NE(set->findNode("\\ARNA\\x.txt"), nullptr);
}

TEST_F(Loader, InstallationsWithoutArchivesLoadEmpty) {
    writeArchive("a.db0", holding("x.txt", "x", 0));
    for (std::int32_t versionCode : {-1, 4, 2, 3}) {  // no fsgame.ltx for 2 and 3
        SCOPED_TRACE(versionCode);
        const auto set = load(versionCode);
        EXPECT_TRUE(set->archives().empty());
        EXPECT_TRUE(set->tree().empty());
    }
    writeText("fsgame.ltx", "$flags$=true|false\n");  // no accepted line
    EXPECT_TRUE(load(2)->archives().empty());
}

TEST_F(Loader, ArchivePathThatDoesNotFitIsRefused) {
    // Nothing is written past the 260-byte path field: the load fails instead.
    const std::string deep = "d" + std::string(200, 'x');
    const std::string name(255 - std::min<std::size_t>(255, root.string().size()), 'n');
    writeArchive(deep + "/" + name.substr(0, 40) + ".db0", holding("x.txt", "x", 2));
    writeText("fsgame.ltx", "$d$=true|false|$fs_root$|" + deep + "\n");
    const std::string message = failureOf(2);
    EXPECT_NE(message.find("260"), std::string::npos) << message;
}

}  // namespace
}  // namespace kestran_db
