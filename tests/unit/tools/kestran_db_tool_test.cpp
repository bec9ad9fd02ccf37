#include <gtest/gtest.h>

#include <boost/filesystem.hpp>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "installation_options.h"
#include "tool_fixture.h"

#include "support/file_times.h"

namespace kestran::cli {
namespace {

using namespace kestran::testing;

const char* const kTopListing =
    "-\t5\t2024-05-01T12:00:00Z\ta.txt\n"
    "d\t0\t2024-05-01T12:00:00Z\tconfig\n"
    "d\t0\t2024-06-01T12:00:00Z\tlevels\n"
    "d\t0\t2024-05-01T12:00:00Z\ttextures\n";

TEST_F(KestranDbTool, LsListsOneDirectoryInTreeOrderWithTheWinningSizeAndTime) {
    const struct {
        std::string path;
        std::string expected;
    } cases[] = {
        {"", kTopListing},
        {"/", kTopListing},
        {"\\", kTopListing},
        {"textures", "-\t4000\t2024-06-01T12:00:00Z\twall.dds\n"},
        {"/textures/", "-\t4000\t2024-06-01T12:00:00Z\twall.dds\n"},
        {"\\textures\\", "-\t4000\t2024-06-01T12:00:00Z\twall.dds\n"},
        {"levels", "d\t0\t2024-05-01T12:00:00Z\tl01\n"},
        {"levels\\l01", "-\t2500\t2024-06-01T12:00:00Z\tlevel.dat\n"},
    };
    for (const auto& c : cases) {
        const ToolRun run = onGame({"ls", c.path});
        EXPECT_EQ(run.status, 0) << c.path << ": " << run.err;
        EXPECT_EQ(run.out, c.expected) << c.path;
    }
}

TEST_F(KestranDbTool, LsRecursiveListsDepthFirstWithPathsRelativeToVpath) {
    ToolRun run = onGame({"ls", "-R"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "-\t5\t2024-05-01T12:00:00Z\ta.txt\n"
              "d\t0\t2024-05-01T12:00:00Z\tconfig\n"
              "-\t12\t2024-05-01T12:00:00Z\tconfig/system.ltx\n"
              "d\t0\t2024-06-01T12:00:00Z\tlevels\n"
              "d\t0\t2024-05-01T12:00:00Z\tlevels/l01\n"
              "-\t2500\t2024-06-01T12:00:00Z\tlevels/l01/level.dat\n"
              "d\t0\t2024-05-01T12:00:00Z\ttextures\n"
              "-\t4000\t2024-06-01T12:00:00Z\ttextures/wall.dds\n");

    run = onGame({"ls", "-R", "/levels"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "d\t0\t2024-05-01T12:00:00Z\tl01\n"
              "-\t2500\t2024-06-01T12:00:00Z\tl01/level.dat\n");
}

TEST_F(KestranDbTool, LsAndWhichFailClearlyOnAPathThatIsNoDirectoryOrMissing) {
    const std::vector<std::string> commands[] = {
        {"ls", "a.txt"},    {"ls", "-R", "textures/wall.dds"}, {"ls", "nothing"},
        {"ls", "Textures"}, {"which", "textures/floor.dds"},   {"which", "Config/system.ltx"},
    };
    for (const std::vector<std::string>& command : commands) {
        const ToolRun run = onGame(command);
        EXPECT_EQ(run.status, 1) << command.back();
        EXPECT_EQ(run.out, "") << command.back();
        EXPECT_NE(run.err, "") << command.back();
    }
    EXPECT_NE(onGame({"ls", "Textures"}).err.find("textures"), std::string::npos);  // the lower-case hint
}

TEST_F(KestranDbTool, WhichShowsTheWinningSizeAndTheArchivesHighestPriorityFirst) {
    ToolRun run = onGame({"which", "textures/wall.dds"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "4000\n" + archivePath("b.db1") + "\n" + archivePath("a.db0") + "\n");

    run = onGame({"which", "\\levels"});  // a directory record of its own
    EXPECT_EQ(run.out, "0\n" + archivePath("b.db1") + "\n");
    run = onGame({"which", "levels/l01"});  // an implied directory: the first archive
    EXPECT_EQ(run.out, "0\n" + archivePath("a.db0") + "\n");
}

TEST_F(KestranDbTool, ExtractCopiesLikeCpRWithTheWinningBytesAndArchiveTimes) {
    const fs::path out = scratch / "out";
    fs::create_directories(out);
    std::ofstream(out / "system.ltx") << "an older copy that is replaced";

    ToolRun run = onGame({"extract", "textures", "config/system.ltx", "-o", out.string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");  // no bar: standard error is no terminal
    EXPECT_EQ(readText(out / "textures" / "wall.dds"), std::string(wallB.begin(), wallB.end()));
    EXPECT_EQ(kestran::testing::lastWriteTime((out / "textures" / "wall.dds").string()), kTimeB);
    EXPECT_EQ(readText(out / "system.ltx"), "width=1024\r\n");
    EXPECT_EQ(kestran::testing::lastWriteTime((out / "system.ltx").string()), kTimeA);
    EXPECT_FALSE(fs::exists(out / "config"));

    // The whole installation, into a directory that does not exist yet.
    const fs::path all = scratch / "all" / "below";
    run = onGame({"extract", "/", "-o", all.string()});
    EXPECT_EQ(run.status, 0) << run.err;
    std::set<std::string> files;
    for (fs::recursive_directory_iterator i(all), end; i != end; ++i) {
        if (fs::is_regular_file(i->path())) files.insert(i->path().lexically_relative(all).generic_string());
    }
    EXPECT_EQ(files,
              (std::set<std::string>{"a.txt", "config/system.ltx", "levels/l01/level.dat", "textures/wall.dds"}));
    EXPECT_EQ(readText(all / "levels" / "l01" / "level.dat"), std::string(level.begin(), level.end()));
    EXPECT_EQ(kestran::testing::lastWriteTime((all / "levels" / "l01" / "level.dat").string()), kTimeB);
    EXPECT_EQ(readText(all / "a.txt"), "alpha");
}

TEST_F(KestranDbTool, ExtractRefusesNamesThatLeaveTheTargetAndReportsDamagedMembersButCopiesTheRest) {
    // Archives directly in the root (VersionCode 0 and 1, scrambled headers).
    const fs::path hostile = scratch / "hostile";
    fs::create_directories(hostile);
    ArchiveBuilder archive(0);
    archive.storedFile("good.txt", bytesOf("good"))
        .storedFile("..\\evil.txt", bytesOf("evil"))
        .storedFile("C:\\drive.txt", bytesOf("drive"))
        .storedFile("a/b.txt", bytesOf("slash"))
        .storedFile("\\rooted.txt", bytesOf("rooted"))
        .record({"broken.dat", 10, 10, 0, 1000000})  // stored bytes far past the archive's end
        .storedFile("sub\\ok.txt", bytesOf("ok"));
    archive.write((hostile / "x.db0").string());

    const fs::path out = scratch / "out";
    const ToolRun run = tool({"extract", "", "-o", out.string()}, {"--root", hostile.string(), "--build", "3312en"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(readText(out / "good.txt"), "good");
    EXPECT_EQ(readText(out / "sub" / "ok.txt"), "ok");
    for (const char* mentioned : {"..", "c:", "a/b.txt", "rooted.txt", "broken.dat"}) {
        EXPECT_NE(run.err.find(mentioned), std::string::npos) << mentioned << " in:\n" << run.err;
    }
    std::set<std::string> written;
    for (fs::recursive_directory_iterator i(scratch), end; i != end; ++i) {
        if (fs::is_regular_file(i->path()) && i->path().parent_path() != scratch) {
            written.insert(i->path().lexically_relative(scratch).generic_string());
        }
    }
    EXPECT_EQ(written, (std::set<std::string>{"game/fsgame.ltx", "game/data/a.db0", "game/data/b.db1", "hostile/x.db0",
                                              "out/good.txt", "out/sub/ok.txt"}));
}

// Names are bytes from the archive: control bytes must not reach a terminal raw.
TEST_F(KestranDbTool, ControlBytesInNamesAreEscapedInListings) {
    const fs::path odd = scratch / "odd";
    fs::create_directories(odd);
    ArchiveBuilder archive(0);
    archive.storedFile("\x1b]0;pwned\x07.txt", bytesOf("!")).storedFile("tab\there.txt", bytesOf("t"));
    archive.write((odd / "a.db0").string());
    const std::vector<std::string> select{"--root", odd.string(), "--version-code", "0"};

    const ToolRun ls = tool({"ls"}, select);
    EXPECT_EQ(ls.status, 0) << ls.err;
    EXPECT_EQ(ls.out.find('\x1b'), std::string::npos);
    EXPECT_NE(ls.out.find("\\e]0;pwned\\a.txt\n"), std::string::npos) << ls.out;
    EXPECT_NE(ls.out.find("\ttab\\there.txt\n"), std::string::npos) << ls.out;
    const ToolRun records = tool({"records", (odd / "a.db0").string(), "--version-code", "0"}, {});
    EXPECT_EQ(records.out.find('\x1b'), std::string::npos);
    EXPECT_NE(records.out.find("\\e]0;pwned\\a.txt\t"), std::string::npos) << records.out;
}

TEST_F(KestranDbTool, TheInstallationIsChosenByRootWithBuildOrVersionCodeOrByASettingsFile) {
    const fs::path ini = scratch / "kestran.ini";
    std::ofstream(ini.string()) << "[main]\nuse_registry = false\n[installations]\nOther = 3312|/nowhere\nGame = 3795|"
                                << game.string() << "\n";
    const std::vector<std::string> selections[] = {
        {"--root", game.string(), "--build", "3967"},
        {"--root", game.string(), "--build", "3795"},
        {"--root", game.string(), "--version-code", "2"},
        {"--config", ini.string(), "--installation", "Game"},
    };
    for (const std::vector<std::string>& selection : selections) {
        const ToolRun run = tool({"ls"}, selection);
        EXPECT_EQ(run.status, 0) << selection[1] << ": " << run.err;
        EXPECT_EQ(run.out, kTopListing) << selection[2];
    }
    // VersionCode 0 looks for archives in the root itself and finds none here: a wrong
    // build, which says where it looked rather than list nothing and succeed.
    const ToolRun empty = tool({"ls", "-R"}, {"--root", game.string(), "--build", "3312ru"});
    EXPECT_EQ(empty.status, 1) << empty.err;
    EXPECT_EQ(empty.out, "");
    EXPECT_EQ(empty.err, "kestran-db ls: no archives in " + game.string() + " (searched: " + game.string() + ")\n");

    std::ofstream((scratch / "broken.ini").string()) << "[installations]\nthis line is no option\n";
    const std::vector<std::string> failing[] = {
        {"--config", ini.string(), "--installation", "game"},  // names are case-sensitive
        {"--config", (scratch / "missing.ini").string(), "--installation", "Game"},
        {"--config", (scratch / "broken.ini").string(), "--installation", "Game"},
        {"--root", (scratch / "missing").string(), "--build", "3967"},
    };
    for (const std::vector<std::string>& selection : failing) {
        const ToolRun run = tool({"ls"}, selection);
        EXPECT_EQ(run.status, 1) << selection[1];
        EXPECT_NE(run.err, "") << selection[1];
    }
}

// The root alone is enough: fsgame.ltx there means its directories and plain headers;
// without it the archives lie in the root with scrambled headers, either key variant.
TEST_F(KestranDbTool, TheLayoutIsSeenFromTheRootAndToldWithVerbose) {
    ToolRun result = tool({"ls"}, {"--root", game.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, kTopListing);
    EXPECT_EQ(result.err, "");

    result = tool({"ls", "-v"}, {"--root", game.string()});
    EXPECT_EQ(result.out, kTopListing);
    EXPECT_NE(result.err.find("fsgame.ltx found"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("VersionCode 3"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("2 archives"), std::string::npos) << result.err;

    ArchiveBuilder key0(0);
    key0.storedFile("first.txt", bytesOf("1"));
    ArchiveBuilder key1(1);
    key1.storedFile("second.txt", bytesOf("2"));
    const fs::path old = installationOf("old", key0, "a.db0");
    key1.write((old / "b.db1").string());
    for (const char* verbose : {"--verbose", "-v"}) {
        result = tool({"ls", verbose}, {"--root", old.string()});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(linesOf(result.out).size(), 2u) << result.out;
        EXPECT_NE(result.out.find("\tfirst.txt\n"), std::string::npos) << result.out;
        EXPECT_NE(result.out.find("\tsecond.txt\n"), std::string::npos) << result.out;
        EXPECT_NE(result.err.find("no fsgame.ltx"), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("VersionCode 0"), std::string::npos) << result.err;
    }
    // --build and --version-code still choose: VersionCode 2 reads the root's fsgame.ltx,
    // which is missing here, so nothing is found, and the tool says where it looked.
    result = tool({"ls", "-v"}, {"--root", old.string(), "--version-code", "2"});
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("--version-code 2"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("no archives in " + old.string() +
                              " (searched: nothing: the root holds no fsgame.ltx that names an archive folder)"),
              std::string::npos)
        << result.err;
}

// Every failure names the file or path it is about.
TEST_F(KestranDbTool, FailuresNameTheFileOrPathTheyAreAbout) {
    std::ofstream((game / "data" / "c.db2").string()).close();  // read last, and empty
    const std::string damaged = (game / "data" / "c.db2").string();
    ToolRun result = tool({"ls"}, {"--root", game.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "kestran-db ls: " + damaged + ": error reading flag field\n");
    result = onGame({"which", "a.txt"});
    EXPECT_EQ(result.err, "kestran-db which: " + damaged + ": error reading flag field\n");

    // A layout that was only seen from the root says what it took the archive for.
    const fs::path old = scratch / "old";
    fs::create_directories(old);
    ArchiveBuilder plain(3);
    plain.storedFile("x.txt", bytesOf("x"));
    plain.write((old / "plain.db0").string());
    result = tool({"ls"}, {"--root", old.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.rfind("kestran-db ls: " + (old / "plain.db0").string() + ": ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find("no fsgame.ltx"), std::string::npos) << result.err;

    const std::string missing = (scratch / "missing.db0").string();
    EXPECT_EQ(invoke({"records", missing}).err.rfind("kestran-db records: " + missing + ": ", 0), 0u);
    EXPECT_EQ(invoke({"records", scratch.string()}).err.rfind("kestran-db records: " + scratch.string() + ": ", 0), 0u);
    const std::string nowhere = (scratch / "nowhere").string();
    EXPECT_EQ(tool({"ls"}, {"--root", nowhere}).err.rfind("kestran-db ls: " + nowhere + ": ", 0), 0u);
    fs::remove(game / "data" / "c.db2");
    EXPECT_EQ(onGame({"ls", "nothing/here"}).err, "kestran-db ls: nothing/here: no such entry\n");
    EXPECT_EQ(onGame({"ls", "a.txt"}).err, "kestran-db ls: a.txt: not a directory\n");
}

// Archive paths are printed as they are on disk: case kept, the system's separators.
TEST_F(KestranDbTool, ArchivePathsArePrintedAsTheyAreOnDisk) {
    ArchiveBuilder patch(3);
    patch.storedFile("a.txt", bytesOf("patched"));
    writeArchive(patch, game / "data" / "Patch.DB9", kTimeB);
    // The root with "/" between names is the same root (on Windows too).
    for (const std::string& root : {game.string(), game.generic_string()}) {
        const ToolRun result = tool({"which", "a.txt"}, {"--root", root});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, "7\n" + archivePath("Patch.DB9") + "\n" + archivePath("a.db0") + "\n");
    }
}

TEST_F(KestranDbTool, TheToolAndEveryCommandTellTheirVersion) {
    const std::vector<std::string> calls[] = {
        {"--version"},
        {"ls", "--version"},
        {"which", "--version"},
        {"extract", "--version"},
        {"records", "--version"},
        {"ls", "--version", "--root", game.string()},
    };
    for (const std::vector<std::string>& call : calls) {
        const ToolRun result = invoke(call);
        EXPECT_EQ(result.status, 0) << call[0];
        EXPECT_EQ(result.out, "kestran-db 0.0.4.0\n") << call[0];
        EXPECT_EQ(result.err, "") << call[0];
    }
}

TEST_F(KestranDbTool, RecordsPrintsTheFileTableInTableOrder) {
    kestran::testing::TableRecord odd{"Odd\\Name.BIN", 7, 7, 0xABCDEF01u, 99};
    ArchiveBuilder builder(1);  // scrambled with key variant 1
    builder.directory("Maps").storedFile("Maps\\Start.TXT", bytesOf("go")).compressedFile("big.dat", level).record(odd);
    const fs::path archive = scratch / "old.db0";
    builder.write(archive.string());

    const ToolRun byKey1 = invoke({"records", archive.string(), "--version-code", "1"});
    // VersionCode 0 reads it too: the other key variant is tried after the first fails.
    const ToolRun byKey0 = invoke({"records", archive.string(), "--version-code", "0"});
    ASSERT_EQ(byKey1.status, 0) << byKey1.err;
    EXPECT_EQ(byKey0.out, byKey1.out);
    const std::vector<std::string> lines = [&] {
        std::vector<std::string> out;
        std::size_t start = 0;
        for (std::size_t end; (end = byKey1.out.find('\n', start)) != std::string::npos; start = end + 1)
            out.push_back(byKey1.out.substr(start, end - start));
        return out;
    }();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "maps\\\t0\t0\t00000000\t0\tD");
    EXPECT_EQ(lines[1].substr(0, 19), "maps\\start.txt\t2\t2\t");
    EXPECT_EQ(lines[1].back(), 'S');
    EXPECT_EQ(lines[2].substr(0, 13), "big.dat\t2500\t");
    EXPECT_EQ(lines[2].back(), 'C');
    EXPECT_EQ(lines[3], "odd\\name.bin\t7\t7\tabcdef01\t99\tS");

    // A plain reading of a scrambled header fails, and so does an empty file.
    const ToolRun plain = invoke({"records", archive.string()});
    EXPECT_EQ(plain.status, 1);
    EXPECT_NE(plain.err, "");
    const fs::path empty = scratch / "empty.db0";
    std::ofstream(empty.string()).close();
    const ToolRun none = invoke({"records", empty.string(), "--version-code", "3"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "kestran-db records: " + empty.string() + ": error reading flag field\n");
    EXPECT_EQ(invoke({"records", archive.string(), "--version-code", "4"}).status, 2);
    EXPECT_EQ(invoke({"records"}).status, 2);
}

TEST_F(KestranDbTool, AWrongCommandLineIsAUsageErrorAndEveryCommandHasHelp) {
    const std::string root = game.string();
    const std::string ini = (scratch / "kestran.ini").string();
    const std::vector<std::string> usageErrors[] = {
        {"ls"},
        {"ls", "--root", root, "--ver", "3"},  // abbreviations are no options
        {"ls", "--root", root, "--recurs"},
        {"ls", "--root", root, "--build", "3967", "--version-code", "3"},
        {"ls", "--root", root, "--build", "3312RU"},
        {"ls", "--root", root, "--version-code", "4"},
        {"ls", "--root", root, "--build", "3967", "--config", ini, "--installation", "Game"},
        {"ls", "--config", ini},
        {"ls", "--config", ini, "--installation", "Game", "--build", "3967"},
        {"ls", "--root", root, "--build", "3967", "a", "b"},
        {"ls", "--root", root, "--build", "3967", "--bogus"},
        {"extract", "/", "--root", root, "--build", "3967"},
        {"extract", "-o", (scratch / "out").string(), "--root", root, "--build", "3967"},
        {"which", "--root", root, "--build", "3967"},
        {"frobnicate"},
        {},
    };
    for (const std::vector<std::string>& args : usageErrors) {
        const ToolRun result = invoke(args);
        EXPECT_EQ(result.status, 2) << (args.empty() ? "(nothing)" : args.back());
        EXPECT_NE(result.err, "");
    }
    for (const char* command : {"ls", "extract", "which", "records", "archives", "conflicts"}) {
        const ToolRun result = invoke({command, "--help"});
        EXPECT_EQ(result.status, 0) << command;
        EXPECT_EQ(result.out.rfind(std::string("usage: kestran-db ") + command, 0), 0u) << command;
    }
    const ToolRun overview = invoke({"--help"});
    EXPECT_EQ(overview.status, 0);
    for (const char* command : {"ls", "extract", "which", "records", "archives", "conflicts"}) {
        EXPECT_NE(overview.out.find(std::string("  ") + command + " "), std::string::npos) << command;
    }
}

TEST(IsoTime, FormatsFileTimesAsUtcToTheSecond) {
    const struct {
        FileTime time;
        const char* expected;
    } cases[] = {
        {FileTime{}, "1601-01-01T00:00:00Z"},
        {fromUnixTime(0), "1970-01-01T00:00:00Z"},
        {fromUnixTime(-2203891200), "1900-03-01T00:00:00Z"},  // 1900 is no leap year
        {fromUnixTime(951782400), "2000-02-29T00:00:00Z"},    // 2000 is one
        {fromUnixTime(1714564799, 999999999), "2024-05-01T11:59:59Z"},
        {fromTicks(~std::uint64_t{0}), "60056-05-28T05:36:10Z"},
    };
    for (const auto& c : cases) EXPECT_EQ(isoTime(c.time), c.expected);
}

}  // namespace
}  // namespace kestran::cli
