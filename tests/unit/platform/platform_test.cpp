// The platform layer's contract, the same on both systems; what only one system has is
// tested in platform_posix_test.cpp and platform_win32_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <string>

#include "platform/platform.h"
#include "platform_test_support.h"

namespace kestran::platform {
namespace {

using FindArchives = PlatformDir;

TEST_F(FindArchives, MissingDirectoryGivesNone) {
    EXPECT_TRUE(findArchiveCandidates(path("nowhere")).empty());
    writeBytes("file.db0", {1});
    EXPECT_TRUE(findArchiveCandidates(path("file.db0")).empty());
    EXPECT_EQ(findArchiveCandidates(root_).size(), 1u);
}

using ReadWindow = PlatformDir;

TEST_F(ReadWindow, ReadsTheWindowAtAGranularityMultiple) {
    const std::size_t granularity = windowGranularity();
    const Bytes bytes = pattern(3 * granularity);
    writeBytes("Archive.db0", bytes);

    FileWindow window = readWindow(root_ + "\\archive.DB0", granularity, granularity + 100);
    ASSERT_NE(window.data, nullptr);
    EXPECT_EQ(window.length, granularity + 100);
    EXPECT_TRUE(std::equal(window.data, window.data + window.length, bytes.begin() + granularity));
    releaseWindow(window);
    EXPECT_EQ(window.data, nullptr);
    EXPECT_EQ(window.handle, nullptr);
    releaseWindow(window);  // a second release does nothing
}

TEST_F(ReadWindow, WindowEndingAtTheEndOfTheFileIsRead) {
    const std::size_t granularity = windowGranularity();
    const Bytes bytes = pattern(2 * granularity + 10);
    writeBytes("a.db0", bytes);
    for (const std::size_t start : {std::size_t{0}, granularity, 2 * granularity}) {
        FileWindow window = readWindow(path("a.db0"), start, bytes.size() - start);
        ASSERT_NE(window.data, nullptr);
        EXPECT_EQ(window.data[0], bytes[start]);
        EXPECT_EQ(window.data[window.length - 1], bytes.back());
        releaseWindow(window);
    }
}

TEST_F(ReadWindow, RefusesWindowsPastTheEndOfTheFile) {
    const std::size_t granularity = windowGranularity();
    writeBytes("a.db0", pattern(2 * granularity));
    const std::string past = "Window reaches past the end of the file!";
    EXPECT_EQ(failureText([&] { readWindow(path("a.db0"), granularity, granularity + 1); }), past);
    EXPECT_EQ(failureText([&] { readWindow(path("a.db0"), 4 * granularity, 1); }), past);
    EXPECT_EQ(failureText([&] { readWindow(path("a.db0"), 0, static_cast<std::size_t>(-1)); }), past);
    EXPECT_EQ(failureText([&] { readWindow(path("a.db0"), std::uint64_t{1} << 40, 1); }), past);
}

TEST_F(ReadWindow, MissingFileCannotBeOpened) {
    EXPECT_EQ(failureText([&] { readWindow(path("missing.db0"), 0, 1); }), "Can't open file!");
    EXPECT_EQ(failureText([&] { readWindow(path("missing.db0"), 0, 0); }), "Can't open file!");
}

TEST_F(ReadWindow, LengthZeroReadsNothing) {
    writeBytes("a.db0", pattern(100));
    writeBytes("empty.db0", {});
    for (const char* name : {"a.db0", "empty.db0"}) {
        FileWindow window = readWindow(path(name), 0, 0);
        EXPECT_EQ(window.data, nullptr);
        EXPECT_EQ(window.length, 0u);
        releaseWindow(window);
    }
}

// --- writeLocalFile

class WriteLocalFile : public PlatformDir {
protected:
    const FileTime time_ = fromUnixTime(1234567890, 987654300);  // whole 100-ns ticks

    WriteResult write(const std::string& relative, const Bytes& bytes, bool overwrite) const {
        return writeLocalFile(path(relative), bytes.data(), bytes.size(), overwrite, time_);
    }

    void expectStamped(const std::string& relative) const {
        const StampedTimes times = stampedTimes(path(relative));
        EXPECT_EQ(times.access, time_);
        EXPECT_EQ(times.write, time_);
    }
};

TEST_F(WriteLocalFile, WritesTheBytesAndStampsTheTimes) {
    const Bytes bytes = pattern(100000);
    EXPECT_EQ(write("out.dds", bytes, false), WriteResult::Written);
    expectStamped("out.dds");  // before reading, which may move the access time
    EXPECT_EQ(readBytes("out.dds"), bytes);

    EXPECT_EQ(write("empty.txt", {}, false), WriteResult::Written);
    expectStamped("empty.txt");
    EXPECT_TRUE(readBytes("empty.txt").empty());
}

TEST_F(WriteLocalFile, ExistingFileIsKeptUnlessOverwriting) {
    writeBytes("out.dds", {1, 2, 3});
    const StampedTimes before = stampedTimes(path("out.dds"));

    EXPECT_EQ(write("out.dds", {9}, false), WriteResult::AlreadyExists);
    EXPECT_EQ(readBytes("out.dds"), (Bytes{1, 2, 3}));
    EXPECT_EQ(stampedTimes(path("out.dds")).write, before.write);

    EXPECT_EQ(write("out.dds", {9}, true), WriteResult::Written);
    expectStamped("out.dds");
    EXPECT_EQ(readBytes("out.dds"), (Bytes{9}));
}

TEST_F(WriteLocalFile, UnwritablePlacesFail) {
    writeBytes("plain", {1});
    makeDirectory("folder");
    EXPECT_EQ(write(std::string("missing") + kSeparator + "out.dds", {1}, false), WriteResult::Failed);
    EXPECT_EQ(write(std::string("plain") + kSeparator + "out.dds", {1}, true), WriteResult::Failed);
    EXPECT_EQ(write("folder", {1}, true), WriteResult::Failed);
    EXPECT_FALSE(boost::filesystem::exists(path("missing")));
    EXPECT_TRUE(boost::filesystem::is_directory(path("folder")));
}

TEST(Platform, CurrentTimeIsNow) {
    const std::int64_t before = std::time(nullptr);
    const std::int64_t now = toUnixSeconds(currentTime());
    const std::int64_t after = std::time(nullptr);
    EXPECT_GE(now, before);
    EXPECT_LE(now, after);
}

}  // namespace
}  // namespace kestran::platform
