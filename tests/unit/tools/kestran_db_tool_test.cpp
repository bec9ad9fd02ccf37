#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <boost/filesystem.hpp>
#include <ctime>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "installation_options.h"
#include "support/archive_builder.h"
#include "support/temp_folder.h"

extern char** environ;

namespace kestran::cli {
namespace {

namespace fs = boost::filesystem;
using kestran::testing::ArchiveBuilder;
using kestran::testing::Bytes;

constexpr std::time_t kTimeA = 1714564800;  // 2024-05-01T12:00:00Z
constexpr std::time_t kTimeB = 1717243200;  // 2024-06-01T12:00:00Z

struct ToolRun {
    int status = -1;  // the exit status; -1 when the tool did not exit normally
    std::string out;
    std::string err;
};

std::string readText(const fs::path& path) {
    std::ifstream in(path.string(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Runs the built kestran-db with exactly these arguments (no shell in between).
ToolRun runTool(const std::vector<std::string>& args, const fs::path& scratch) {
    const std::string outPath = (scratch / "stdout").string();
    const std::string errPath = (scratch / "stderr").string();
    std::vector<std::string> texts{KESTRAN_DB_EXECUTABLE};
    texts.insert(texts.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ToolRun run;
    if (spawned != 0) return run;
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    if (WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
    run.out = readText(outPath);
    run.err = readText(errPath);
    return run;
}

std::string lowerCase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Repetitive bytes, so that LZO really packs them.
Bytes pattern(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + (i / 32) % 8);
    return bytes;
}

// An installation with fsgame.ltx and two archives in data/: b.db1 is read after
// a.db0 and overrides textures\wall.dds; levels is named by b's directory record,
// levels\l01 and the others only implied.
class KestranDbTool : public ::testing::Test {
protected:
    KestranDbTool() {
        game = scratch / "game";
        fs::create_directories(game / "data");
        std::ofstream(game / "fsgame.ltx", std::ios::binary) << "$game$ = false|false|$fs_root$\r\n"
                                                                "$data$ = true|false|$game$|data\\\r\n";
        ArchiveBuilder a(3);
        a.storedFile("a.txt", bytesOf("alpha"))
            .compressedFile("textures\\wall.dds", wallA)
            .storedFile("config\\System.ltx", bytesOf("width=1024\r\n"));
        writeArchive(a, game / "data" / "a.db0", kTimeA);
        ArchiveBuilder b(3);
        b.storedFile("textures\\wall.dds", wallB).directory("levels").compressedFile("levels\\l01\\level.dat", level);
        writeArchive(b, game / "data" / "b.db1", kTimeB);
    }

    static void writeArchive(const ArchiveBuilder& builder, const fs::path& path, std::time_t time) {
        builder.write(path.string());
        fs::last_write_time(path, time);
    }

    std::vector<std::string> selectGame() const { return {"--root", game.string(), "--build", "3967"}; }

    ToolRun tool(std::vector<std::string> args, const std::vector<std::string>& selection) const {
        args.insert(args.end(), selection.begin(), selection.end());
        return runTool(args, scratch);
    }
    ToolRun onGame(const std::vector<std::string>& args) const { return tool(args, selectGame()); }

    std::string archivePath(const std::string& name) const { return lowerCase(game.string() + "\\data\\" + name); }

    const Bytes wallA = pattern(3000, 0x20);
    const Bytes wallB = pattern(4000, 0x40);
    const Bytes level = pattern(2500, 0x60);
    kestran::testing::TempFolder folder{"kestran-db-test"};
    fs::path scratch{folder.path().string()};
    fs::path game;
};

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
    EXPECT_EQ(fs::last_write_time(out / "textures" / "wall.dds"), kTimeB);
    EXPECT_EQ(readText(out / "system.ltx"), "width=1024\r\n");
    EXPECT_EQ(fs::last_write_time(out / "system.ltx"), kTimeA);
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
    EXPECT_EQ(fs::last_write_time(all / "levels" / "l01" / "level.dat"), kTimeB);
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

// A symbolic link below the target is never followed: not into a directory, not onto a
// file. Such entries are refused and reported; the rest is copied.
TEST_F(KestranDbTool, ExtractNeverWritesThroughSymbolicLinksInTheTarget) {
    const fs::path hostile = scratch / "links";
    fs::create_directories(hostile);
    ArchiveBuilder archive(0);
    archive.storedFile("data\\note.txt", bytesOf("note"))
        .storedFile("x.txt", bytesOf("x"))
        .storedFile("y.txt", bytesOf("y"));
    archive.write((hostile / "a.db0").string());
    const fs::path outside = scratch / "outside";
    fs::create_directories(outside);
    std::ofstream(outside / "victim.txt") << "victim";
    const fs::path out = scratch / "out";
    fs::create_directories(out);
    fs::create_symlink("../outside", out / "data");
    fs::create_symlink("../outside/victim.txt", out / "x.txt");

    const ToolRun run = tool({"extract", "/", "-o", out.string()}, {"--root", hostile.string(), "--version-code", "0"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(readText(outside / "victim.txt"), "victim");
    EXPECT_FALSE(fs::exists(outside / "note.txt"));
    EXPECT_TRUE(fs::is_symlink(out / "data"));
    EXPECT_TRUE(fs::is_symlink(out / "x.txt"));
    EXPECT_EQ(readText(out / "y.txt"), "y");
    EXPECT_NE(run.err.find("\"data\""), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\"x.txt\""), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("symbolic link"), std::string::npos) << run.err;
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
    // VersionCode 0 looks for archives in the root itself and finds none here.
    const ToolRun empty = tool({"ls", "-R"}, {"--root", game.string(), "--build", "3312ru"});
    EXPECT_EQ(empty.status, 0) << empty.err;
    EXPECT_EQ(empty.out, "");

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

TEST_F(KestranDbTool, RecordsPrintsTheFileTableInTableOrder) {
    kestran::testing::TableRecord odd{"Odd\\Name.BIN", 7, 7, 0xABCDEF01u, 99};
    ArchiveBuilder builder(1);  // scrambled with key variant 1
    builder.directory("Maps").storedFile("Maps\\Start.TXT", bytesOf("go")).compressedFile("big.dat", level).record(odd);
    const fs::path archive = scratch / "old.db0";
    builder.write(archive.string());

    const ToolRun byKey1 = runTool({"records", archive.string(), "--version-code", "1"}, scratch);
    // VersionCode 0 reads it too: the other key variant is tried after the first fails.
    const ToolRun byKey0 = runTool({"records", archive.string(), "--version-code", "0"}, scratch);
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
    const ToolRun plain = runTool({"records", archive.string()}, scratch);
    EXPECT_EQ(plain.status, 1);
    EXPECT_NE(plain.err, "");
    const fs::path empty = scratch / "empty.db0";
    std::ofstream(empty.string()).close();
    const ToolRun none = runTool({"records", empty.string(), "--version-code", "3"}, scratch);
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "error reading flag field\n");
    EXPECT_EQ(runTool({"records", archive.string(), "--version-code", "4"}, scratch).status, 2);
    EXPECT_EQ(runTool({"records"}, scratch).status, 2);
}

TEST_F(KestranDbTool, AWrongCommandLineIsAUsageErrorAndEveryCommandHasHelp) {
    const std::string root = game.string();
    const std::string ini = (scratch / "kestran.ini").string();
    const std::vector<std::string> usageErrors[] = {
        {"ls"},
        {"ls", "--root", root},
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
        const ToolRun run = runTool(args, scratch);
        EXPECT_EQ(run.status, 2) << (args.empty() ? "(nothing)" : args.back());
        EXPECT_NE(run.err, "");
    }
    for (const char* command : {"ls", "extract", "which", "records"}) {
        const ToolRun run = runTool({command, "--help"}, scratch);
        EXPECT_EQ(run.status, 0) << command;
        EXPECT_EQ(run.out.rfind(std::string("usage: kestran-db ") + command, 0), 0u) << command;
    }
    const ToolRun overview = runTool({"--help"}, scratch);
    EXPECT_EQ(overview.status, 0);
    for (const char* command : {"ls", "extract", "which", "records"}) {
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
