// What only the POSIX runs meet: symbolic links that tests can make, and a terminal
// that the runner can read.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>
#include <csignal>
#include <fstream>
#include <iterator>
#include <map>

#include "tool_fixture.h"

namespace kestran::testing {
namespace {

// Names that differ in the archive but meet once converted from the code page (a
// CP1251 name and its UTF-8 twin): one file is written, and the other is refused by
// name, the same one whatever the threads do.
TEST_F(KestranDbTool, ExtractRefusesNamesThatMeetOnceConverted) {
    ArchiveBuilder archive(0);
    archive.storedFile("\xE0.txt", bytesOf("cp1251")).storedFile("\xD0\xB0.txt", bytesOf("utf-8"));
    const fs::path root = installationOf("twins", archive);
    const fs::path out = scratch / "out";
    for (int run = 0; run < 3; ++run) {
        fs::remove_all(out);
        const ToolRun result = tool({"extract", "/", "-o", out.string(), "-j", "4"}, {"--root", root.string()});
        EXPECT_EQ(result.status, 1);
        // Byte order puts the CP1251 name (0xE0) after the UTF-8 one (0xD0): it is refused.
        EXPECT_EQ(result.err,
                  "kestran-db extract: refused \"\xD0\xB0.txt\": it would land on \"\xD0\xB0.txt\", where "
                  "\"\xD0\xB0.txt\" was just put (--full-paths keeps each entry's path)\n");
        EXPECT_EQ(readText(out / "\xD0\xB0.txt"), "utf-8");
        EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
    }
}

// Ctrl+C (or SIGTERM) during an extraction: every file under its final name is whole,
// no temporary stays behind, and the tool ends by the signal, as the shell expects.
// Interrupted at several moments, early and late in the copying.
TEST_F(KestranDbTool, AnInterruptedExtractionLeavesOnlyWholeFilesAndNoTemporaries) {
    ArchiveBuilder archive(0);
    std::map<std::string, Bytes> contents;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "f" + std::to_string(i) + ".bin";
        contents[name] = pattern(6 << 20, static_cast<std::uint8_t>(i));
        archive.storedFile(name, contents[name]);
    }
    const fs::path root = installationOf("big", archive);
    const fs::path out = scratch / "out";
    const std::pair<int, int> interruptions[] = {{25, SIGINT}, {75, SIGTERM}, {150, SIGINT}, {300, SIGTERM}};
    for (const auto& [delay, signal] : interruptions) {
        SCOPED_TRACE(std::to_string(delay) + " ms, signal " + std::to_string(signal));
        fs::remove_all(out);
        const InterruptedRun run =
            runToolInterrupted({"extract", "/", "-o", out.string(), "-j", "2", "--root", root.string()},
                               std::filesystem::path(scratch.string()), std::chrono::milliseconds(delay), signal);
        if (run.signal == 0) {
            EXPECT_EQ(run.status, 0) << run.err;  // done before the signal came
        } else {
            EXPECT_EQ(run.signal, signal) << run.err;
        }
        if (!fs::exists(out)) continue;
        for (fs::directory_iterator i(out), end; i != end; ++i) {
            const std::string name = i->path().filename().string();
            ASSERT_EQ(contents.count(name), 1u) << "left behind: " << name;
            EXPECT_EQ(fs::file_size(i->path()), contents[name].size()) << name;
            EXPECT_TRUE(readText(i->path()) == textOf(contents[name])) << name;
        }
    }
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

// Linux names are UTF-8; names from the archives are bytes in a Windows code page. The
// tool shows them converted (CP1251 unless told otherwise), finds them by the shown
// name and writes local files under it; "none" shows the bytes, escaped where needed.
TEST_F(KestranDbTool, NamesInACodePageAreShownFoundAndExtractedAsUtf8) {
    const std::string mapCp1251 = "\xEA\xE0\xF0\xF2\xE0";  // "карта" in CP1251
    const std::string mapUtf8 = "\xD0\xBA\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0";
    ArchiveBuilder builder(0);
    builder.storedFile("levels\\" + mapCp1251 + "\\" + mapCp1251 + ".ltx", bytesOf("map"))
        .storedFile("\xD1\x83\xD0\xB6\xD0\xB5.txt", bytesOf("utf8"));  // "уже", UTF-8 already
    const fs::path root = installationOf("cyrillic", builder);
    const std::vector<std::string> select{"--root", root.string()};
    const std::string shown = "levels/" + mapUtf8 + "/" + mapUtf8 + ".ltx";

    const ToolRun ls = tool({"ls", "-R"}, select);
    EXPECT_EQ(ls.status, 0) << ls.err;
    EXPECT_NE(ls.out.find("\t" + shown + "\n"), std::string::npos) << ls.out;
    EXPECT_NE(ls.out.find("\t\xD1\x83\xD0\xB6\xD0\xB5.txt\n"), std::string::npos) << ls.out;

    const ToolRun which = tool({"which", shown}, select);
    EXPECT_EQ(which.status, 0) << which.err;
    const ToolRun cat = tool({"extract", "-O", shown}, select);
    EXPECT_EQ(cat.status, 0) << cat.err;
    EXPECT_EQ(cat.out, "map");
    // The bytes themselves name the entry too.
    EXPECT_EQ(tool({"extract", "-O", "levels/" + mapCp1251 + "/" + mapCp1251 + ".ltx"}, select).out, "map");

    const fs::path out = scratch / "out";
    const ToolRun extract = tool({"extract", "/", "-o", out.string()}, select);
    EXPECT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(readText(out / "levels" / mapUtf8 / (mapUtf8 + ".ltx")), "map");
    EXPECT_EQ(readText(out / "\xD1\x83\xD0\xB6\xD0\xB5.txt"), "utf8");

    const ToolRun asBytes = tool({"ls", "levels", "--name-encoding", "none"}, select);
    EXPECT_EQ(asBytes.status, 0) << asBytes.err;
    EXPECT_NE(asBytes.out.find("\t" + mapCp1251 + "\n"), std::string::npos) << asBytes.out;
    const ToolRun latin = tool({"ls", "levels", "--name-encoding", "CP1252"}, select);
    EXPECT_NE(latin.out.find("\t\xC3\xAA\xC3\xA0\xC3\xB0\xC3\xB2\xC3\xA0\n"), std::string::npos) << latin.out;
    const ToolRun unknown = tool({"ls", "--name-encoding", "KOI8-R"}, select);
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("KOI8-R"), std::string::npos) << unknown.err;
}

}  // namespace
}  // namespace kestran::testing
