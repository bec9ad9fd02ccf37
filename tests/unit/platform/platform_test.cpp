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

TEST(Platform, CurrentTimeIsNow) {
    const std::int64_t before = std::time(nullptr);
    const std::int64_t now = toUnixSeconds(currentTime());
    const std::int64_t after = std::time(nullptr);
    EXPECT_GE(now, before);
    EXPECT_LE(now, after);
}

}  // namespace
}  // namespace kestran::platform
