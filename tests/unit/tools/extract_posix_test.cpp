// What only the POSIX runs meet: symbolic links that tests can make, and a terminal
// that the runner can read.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>
#include <fstream>

#include "tool_fixture.h"

namespace kestran::testing {
namespace {

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

// The progress bar goes to a terminal, messages between its redraws, and the line
// ends with the bar full; a file gets no bar at all (the other tests).
TEST_F(KestranDbTool, ExtractDrawsAProgressBarOnATerminal) {
    ArchiveBuilder builder(0);
    for (int i = 0; i < 300; ++i)
        builder.storedFile("d" + std::to_string(i % 7) + "\\f" + std::to_string(i), pattern(50, 1));
    builder.storedFile("..\\evil.txt", bytesOf("evil"));
    const fs::path root = installationOf("many", builder);
    const ToolRun result = runToolOnTerminal(
        {"extract", "/", "-o", (scratch / "out").string(), "--root", root.string()}, scratch.string());
    EXPECT_EQ(result.status, 1);  // the refused name
    EXPECT_NE(result.err.find("\r["), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("] 300/300"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("refused \"../evil.txt\""), std::string::npos) << result.err;
    EXPECT_EQ(result.err.back(), '\n');
    EXPECT_EQ(readText(scratch / "out" / "d5" / "f299"), textOf(pattern(50, 1)));
}

}  // namespace
}  // namespace kestran::testing
