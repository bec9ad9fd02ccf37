// extract's ways beyond copying into a fresh directory: to standard output, keeping
// what is there, many threads, and arguments that meet.
#include <gtest/gtest.h>

#include <algorithm>
#include <boost/filesystem.hpp>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tool_fixture.h"

#include "support/file_times.h"

namespace kestran::testing {
namespace {

// Every regular file below a directory: its path below it, "/"-separated, and its bytes.
std::map<std::string, std::string> filesBelow(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (fs::recursive_directory_iterator i(root), end; i != end; ++i) {
        if (fs::is_regular_file(i->path()))
            files[i->path().lexically_relative(root).generic_string()] = readText(i->path());
    }
    return files;
}

TEST_F(KestranDbTool, ExtractToStandardOutputWritesOneFilesBytesUnchanged) {
    Bytes everyByte(512);
    for (std::size_t i = 0; i < everyByte.size(); ++i) everyByte[i] = static_cast<std::uint8_t>(i * 7);
    ArchiveBuilder builder(0);
    builder.storedFile("all.bin", everyByte).compressedFile("lines.txt", bytesOf("one\ntwo\r\nthree\n\n"));
    const fs::path binary = installationOf("binary", builder);

    const struct {
        std::vector<std::string> args;
        std::string expected;
    } cases[] = {
        {{"extract", "-O", "config/system.ltx", "--root", game.string()}, "width=1024\r\n"},
        {{"extract", "--stdout", "/textures/wall.dds", "--root", game.string()}, textOf(wallB)},
        {{"extract", "-O", "all.bin", "--root", binary.string()}, textOf(everyByte)},
        {{"extract", "-O", "lines.txt", "--root", binary.string()}, "one\ntwo\r\nthree\n\n"},
    };
    for (const auto& c : cases) {
        const ToolRun result = invoke(c.args);
        EXPECT_EQ(result.status, 0) << c.args[2] << ": " << result.err;
        EXPECT_EQ(result.rawOut, c.expected) << c.args[2];
        EXPECT_EQ(result.err, "") << c.args[2];
    }

    const struct {
        std::vector<std::string> args;
        int status;
        std::string mentioned;
    } refused[] = {
        {{"-O", "textures"}, 1, "textures: is a directory"},
        {{"-O", "textures/floor.dds"}, 1, "textures/floor.dds: no such entry"},
        {{"-O", "a.txt", "config/system.ltx"}, 2, "exactly one"},
        {{"-O", "a.txt", "-o", (scratch / "out").string()}, 2, "not both"},
        {{"-O", "a.txt", "--keep"}, 2, "--keep"},
    };
    for (const auto& r : refused) {
        std::vector<std::string> args{"extract"};
        args.insert(args.end(), r.args.begin(), r.args.end());
        const ToolRun result = onGame(args);
        EXPECT_EQ(result.status, r.status) << r.mentioned;
        EXPECT_EQ(result.rawOut, "") << r.mentioned;
        EXPECT_NE(result.err.find(r.mentioned), std::string::npos) << result.err;
    }
    EXPECT_FALSE(fs::exists(scratch / "out"));
}

TEST_F(KestranDbTool, ExtractWithKeepLeavesEveryExistingFileAndReportsIt) {
    const fs::path out = scratch / "out";
    fs::create_directories(out / "textures");
    std::ofstream((out / "textures" / "wall.dds").string()) << "mine";
    std::ofstream((out / "a.txt").string()) << "mine too";

    ToolRun result = onGame({"extract", "/", "-o", out.string(), "-k"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(readText(out / "textures" / "wall.dds"), "mine");
    EXPECT_EQ(readText(out / "a.txt"), "mine too");
    EXPECT_EQ(readText(out / "config" / "system.ltx"), "width=1024\r\n");
    EXPECT_EQ(readText(out / "levels" / "l01" / "level.dat"), textOf(level));
    const std::vector<std::string> lines = linesOf(result.err);
    ASSERT_EQ(lines.size(), 2u) << result.err;
    for (const char* kept : {"\"a.txt\"", "\"textures/wall.dds\""}) {
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [&](const std::string& line) {
                                    return line.find(kept) != std::string::npos &&
                                           line.find("kept") != std::string::npos;
                                }),
                  1)
            << kept << " in\n"
            << result.err;
    }

    // Nothing is in the way any more: nothing to report.
    result = onGame({"extract", "/", "-o", out.string(), "--keep"});
    EXPECT_EQ(result.status, 1);
    result = onGame({"extract", "config", "-o", out.string(), "--keep"});
    EXPECT_EQ(result.status, 1);
    fs::remove_all(out / "config");
    result = onGame({"extract", "config", "-o", out.string(), "--keep"});
    EXPECT_EQ(result.status, 0) << result.err;

    // Without --keep every file is replaced.
    result = onGame({"extract", "/", "-o", out.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readText(out / "textures" / "wall.dds"), textOf(wallB));
    EXPECT_EQ(readText(out / "a.txt"), "alpha");
}

// Many files in many directories, copied by several threads: every file once, with its
// own bytes and time, and no temporary file left behind; the same with one thread.
TEST_F(KestranDbTool, ExtractOnManyThreadsCopiesEveryFileOnceWithItsBytesAndTime) {
    ArchiveBuilder base(0);
    ArchiveBuilder patch(0);
    std::map<std::string, std::string> expected;
    for (int i = 0; i < 400; ++i) {
        const std::string dir = "d" + std::to_string(i % 23) + "\\s" + std::to_string(i % 5);
        const std::string name = dir + "\\f" + std::to_string(i) + ".dat";
        const Bytes contents = pattern(100 + static_cast<std::size_t>(i) * 13, static_cast<std::uint8_t>(i));
        if (i % 2 == 0)
            base.compressedFile(name, contents);
        else
            base.storedFile(name, contents);
        std::string local = name;
        for (char& c : local)
            if (c == '\\') c = '/';
        expected[local] = textOf(contents);
        if (i % 10 == 0) {
            const Bytes newer = pattern(77 + static_cast<std::size_t>(i), 0x11);
            patch.storedFile(name, newer);
            expected[local] = textOf(newer);
        }
    }
    const fs::path root = installationOf("many", base, "base.db0");
    kestran::testing::setLastWriteTime((root / "base.db0").string(), kTimeA);
    writeArchive(patch, root / "patch.db1", kTimeB);

    // Forward slashes, and on Windows a drive letter, in -o.
    const std::string targets[] = {(scratch / "one").string(), (scratch / "four").generic_string(),
                                   (scratch / "cores").string()};
    const std::vector<std::string> jobs[] = {{"-j", "1"}, {"--jobs", "4"}, {}};
    for (std::size_t t = 0; t < 3; ++t) {
        std::vector<std::string> args{"extract", "/", "-o", targets[t], "--root", root.string()};
        args.insert(args.end(), jobs[t].begin(), jobs[t].end());
        const ToolRun result = invoke(args);
        EXPECT_EQ(result.status, 0) << targets[t] << ": " << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(filesBelow(targets[t]), expected) << targets[t];
        EXPECT_EQ(kestran::testing::lastWriteTime((fs::path(targets[t]) / "d0" / "s0" / "f0.dat").string()), kTimeB);
        EXPECT_EQ(kestran::testing::lastWriteTime((fs::path(targets[t]) / "d1" / "s1" / "f1.dat").string()), kTimeA);
    }
    EXPECT_EQ(invoke({"extract", "/", "-o", targets[0], "-j", "0", "--root", root.string()}).status, 2);
}

// Two entries that would land at one place: the later one is refused, naming both,
// before anything is written (as cp refuses to overwrite a file it has just made), and
// the exit status is 1, however many threads copy; with --full-paths each keeps its path.
// The same entry reached twice is copied once, as cp copies a source named twice.
TEST_F(KestranDbTool, ExtractRefusesAnEntryThatWouldLandOnAnEarlierOne) {
    ArchiveBuilder builder(0);
    builder.storedFile("levels\\l01\\level.dat", bytesOf("one"))
        .storedFile("levels\\l02\\level.dat", bytesOf("two"))
        .storedFile("maps\\level.dat\\x.txt", bytesOf("x"));
    const fs::path root = installationOf("meet", builder);
    const fs::path out = scratch / "out";
    for (const char* jobs : {"1", "4"}) {
        SCOPED_TRACE(jobs);
        fs::remove_all(out);
        const ToolRun result = tool({"extract", "levels/l01/level.dat", "levels/l02/level.dat", "maps/level.dat", "-o",
                                     out.string(), "-j", jobs},
                                    {"--root", root.string()});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err,
                  "kestran-db extract: refused \"levels/l02/level.dat\": it would land on \"level.dat\", where "
                  "\"levels/l01/level.dat\" was just put (--full-paths keeps each entry's path)\n"
                  "kestran-db extract: refused \"maps/level.dat/x.txt\": it would land on \"level.dat\", where "
                  "\"levels/l01/level.dat\" was just put (--full-paths keeps each entry's path)\n");
        EXPECT_EQ(filesBelow(out), (std::map<std::string, std::string>{{"level.dat", "one"}}));
    }

    fs::remove_all(out);
    ToolRun result =
        tool({"extract", "levels/l01/level.dat", "levels/l02/level.dat", "maps", "-o", out.string(), "--full-paths"},
             {"--root", root.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(filesBelow(out),
              (std::map<std::string, std::string>{
                  {"levels/l01/level.dat", "one"}, {"levels/l02/level.dat", "two"}, {"maps/level.dat/x.txt", "x"}}));

    // One entry named twice is copied once; a file named beside its folder lands where
    // each argument puts it.
    for (const char* keep : {"--jobs=2", "-k"}) {
        fs::remove_all(out);
        result = onGame({"extract", "textures", "/textures/", "textures/wall.dds", "a.txt", "-o", out.string(), keep});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(filesBelow(out),
                  (std::map<std::string, std::string>{
                      {"a.txt", "alpha"}, {"textures/wall.dds", textOf(wallB)}, {"wall.dds", textOf(wallB)}}));
    }
}

}  // namespace
}  // namespace kestran::testing
