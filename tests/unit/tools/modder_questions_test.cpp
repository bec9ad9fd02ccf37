// The questions a modder asks: which archives there are and what each supplies,
// which files are held more than once and by whom, and where a listed file comes from.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "installation_options.h"
#include "tool_fixture.h"

namespace kestran::testing {
namespace {

using kestran::cli::isoTime;

std::vector<std::string> wordsOf(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

// The fixture's installation with a third archive, c.db2, read last: it overrides
// a.txt and textures\wall.dds, which so has three copies.
class ModderQuestions : public KestranDbTool {
protected:
    ModderQuestions() {
        ArchiveBuilder c(3);
        c.storedFile("a.txt", bytesOf("patched")).storedFile("textures\\wall.dds", wallC);
        writeArchive(c, game / "data" / "c.db2", kTimeB);
    }

    // An archive's path below the installation's root, in the system's separators.
    static std::string below(const std::string& name) { return (fs::path("data") / name).string(); }

    const Bytes wallC = pattern(5000, 0x30);
    const std::string timeA = isoTime(fromUnixTime(kTimeA));
    const std::string timeB = isoTime(fromUnixTime(kTimeB));
};

TEST_F(ModderQuestions, ArchivesListsEachArchiveInReadingOrderWithWhatItSupplies) {
    const ToolRun result = onGame({"archives"});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::vector<std::string> lines = linesOf(result.out);
    ASSERT_EQ(lines.size(), 4u) << result.out;
    EXPECT_EQ(wordsOf(lines[0]),
              (std::vector<std::string>{"RECORDS", "WINS", "LOSES", "STORED", "UNPACKED", "TIME", "ARCHIVE"}));
    const std::size_t wallAStored = compressLzo(wallA).size();
    const std::size_t levelStored = compressLzo(level).size();
    const std::vector<std::string> expected[] = {
        // a.txt and wall.dds lost, config\system.ltx won
        {"3", "1", "2", std::to_string(5 + wallAStored + 12), std::to_string(5 + 3000 + 12), timeA,
         archivePath("a.db0")},
        // wall.dds lost, the directory levels and levels\l01\level.dat won (a file)
        {"3", "1", "1", std::to_string(4000 + levelStored), std::to_string(4000 + 2500), timeB, archivePath("b.db1")},
        {"2", "2", "0", std::to_string(7 + 5000), std::to_string(7 + 5000), timeB, archivePath("c.db2")},
    };
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(wordsOf(lines[i + 1]), expected[i]) << lines[i + 1];
    // Columns line up: every row as long as the header up to the archive's path.
    EXPECT_EQ(lines[1].find(archivePath("a.db0")), lines[0].find("ARCHIVE"));
}

// A folder without a single archive is a wrong folder far more often than an
// installation: every command fails and says where it looked, instead of answering
// with nothing and exit status 0. With fsgame.ltx, the folders it names are listed, the
// missing ones marked (and with -v, whether or not anything was found).
TEST_F(ModderQuestions, AnInstallationWithoutArchivesFailsSayingWhereItLooked) {
    const fs::path empty = scratch / "empty";
    fs::create_directories(empty);
    for (const char* command : {"archives", "ls", "conflicts", "which", "extract"}) {
        SCOPED_TRACE(command);
        std::vector<std::string> args{command};
        if (std::string(command) == "which") args.push_back("x");
        if (std::string(command) == "extract") args.insert(args.end(), {"/", "-o", (scratch / "out").string()});
        const ToolRun result = tool(args, {"--root", empty.string()});
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, std::string("kestran-db ") + command + ": no archives in " + empty.string() +
                                  " (searched: " + empty.string() + ")\n");
    }
    EXPECT_EQ(tool({"archives", "extra"}, {"--root", empty.string()}).status, 2);

    fs::create_directories(empty / "data");
    std::ofstream((empty / "fsgame.ltx").string()) << "$data$=true|false|$fs_root$|data\\\n"
                                                   << "$mods$=true|false|$fs_root$|mods\\\n";
    const ToolRun result = tool({"ls"}, {"--root", empty.string()});
    EXPECT_EQ(result.status, 1);
    const std::string data = empty.string() + "\\data", mods = empty.string() + "\\mods";
    EXPECT_NE(result.err.find("(searched: " + data + ", " + mods + " (missing))"), std::string::npos) << result.err;
}

TEST_F(ModderQuestions, ConflictsListsEveryFileWithMoreThanOneCopyFromTheWinnerDown) {
    const std::string aTxt =
        "a.txt\n\t7\t" + timeB + "\t" + below("c.db2") + "\n\t5\t" + timeA + "\t" + below("a.db0") + "\n";
    const std::string wall = "textures/wall.dds\n\t5000\t" + timeB + "\t" + below("c.db2") + "\n\t4000\t" + timeB +
                             "\t" + below("b.db1") + "\n\t3000\t" + timeA + "\t" + below("a.db0") + "\n";
    const struct {
        std::vector<std::string> args;
        std::string expected;
    } cases[] = {
        {{"conflicts"}, aTxt + wall},
        {{"conflicts", "/"}, aTxt + wall},
        {{"conflicts", "textures"}, wall},
        {{"conflicts", "\\textures\\wall.dds"}, wall},
        {{"conflicts", "a.txt"}, aTxt},
        {{"conflicts", "levels"}, ""},
        {{"conflicts", "config/system.ltx"}, ""},
        // Only what one archive overrides or loses.
        {{"conflicts", "--archive", "b.db1"}, wall},
        {{"conflicts", "--archive", "data/A.DB0"}, aTxt + wall},
        {{"conflicts", "--archive", archivePath("c.db2")}, aTxt + wall},
        {{"conflicts", "--archive", "c.db2", "textures"}, wall},
    };
    for (const auto& c : cases) {
        const ToolRun result = onGame(c.args);
        EXPECT_EQ(result.status, 0) << c.args.back() << ": " << result.err;
        EXPECT_EQ(result.out, c.expected) << c.args.back();
    }

    const struct {
        std::vector<std::string> args;
        int status;
        std::string mentioned;
    } failing[] = {
        {{"conflicts", "--archive", "x.db9"}, 1, "x.db9: no archive"},
        {{"conflicts", "--archive", "ata/c.db2"}, 1, below("c.db2")},  // whole components only
        {{"conflicts", "nothing"}, 1, "nothing: no such entry"},
        {{"conflicts", "a", "b"}, 2, "too many"},
    };
    for (const auto& f : failing) {
        const ToolRun result = onGame(f.args);
        EXPECT_EQ(result.status, f.status) << f.args.back();
        EXPECT_EQ(result.out, "") << f.args.back();
        EXPECT_NE(result.err.find(f.mentioned), std::string::npos) << result.err;
    }
}

TEST_F(ModderQuestions, ConflictsArchiveMustNameOneArchive) {
    std::ofstream((game / "fsgame.ltx").string(), std::ios::binary)
        << "$game$ = false|false|$fs_root$\r\n$data$ = true|false|$game$|data\\\r\n"
           "$mods$ = true|false|$game$|mods\\\r\n";
    fs::create_directories(game / "mods");
    ArchiveBuilder mod(3);
    mod.storedFile("config\\system.ltx", bytesOf("width=4096\r\n"));
    writeArchive(mod, game / "mods" / "a.db0", kTimeB);

    ToolRun result = onGame({"conflicts", "--archive", "a.db0"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("more than one"), std::string::npos) << result.err;
    result = onGame({"conflicts", "--archive", "mods/a.db0"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "config/system.ltx\n\t12\t" + timeB + "\t" + (fs::path("mods") / "a.db0").string() +
                              "\n\t12\t" + timeA + "\t" + below("a.db0") + "\n");
}

TEST_F(ModderQuestions, LsLongAddsTheWinningArchiveAndTheCopiesAndPlainLsStaysAsItWas) {
    ToolRun result = onGame({"ls", "-l"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "-\t7\t" + timeB + "\t" + below("c.db2") + "\t2\ta.txt\n" +       //
                              "d\t0\t" + timeA + "\t" + below("a.db0") + "\t1\tconfig\n" +  //
                              "d\t0\t" + timeB + "\t" + below("b.db1") + "\t1\tlevels\n" +  //
                              "d\t0\t" + timeA + "\t" + below("a.db0") + "\t1\ttextures\n");
    result = onGame({"ls", "-R", "-l", "textures"});
    EXPECT_EQ(result.out, "-\t5000\t" + timeB + "\t" + below("c.db2") + "\t3\twall.dds\n");
    result = onGame({"ls", "--long", "--recursive", "levels"});
    EXPECT_EQ(result.out, "d\t0\t" + timeA + "\t" + below("a.db0") + "\t1\tl01\n" +  //
                              "-\t2500\t" + timeB + "\t" + below("b.db1") + "\t1\tl01/level.dat\n");

    result = onGame({"ls"});
    EXPECT_EQ(result.out, "-\t7\t" + timeB + "\ta.txt\n" + "d\t0\t" + timeA + "\tconfig\n" + "d\t0\t" + timeB +
                              "\tlevels\n" + "d\t0\t" + timeA + "\ttextures\n");
}

}  // namespace
}  // namespace kestran::testing
