#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>

#include "common/failure.h"
#include "platform/platform.h"
#include "platform_test_support.h"
#include "support/failing_readdir.h"

namespace kestran::platform {
namespace {

namespace fs = boost::filesystem;

// --- resolvePath

using ResolvePath = PlatformDir;

TEST_F(ResolvePath, FindsEachComponentWithoutRegardToCase) {
    makeDirectory("Data/Textures");
    writeBytes("Data/Textures/Wall.DDS", {1});
    EXPECT_EQ(resolvePath(root_ + "\\data\\TEXTURES\\wall.dds"), path("Data/Textures/Wall.DDS"));
    EXPECT_EQ(resolvePath(root_ + "\\\\DATA\\\\textures\\"), path("Data/Textures/"));
    EXPECT_EQ(resolvePath(root_ + "//Data///Textures//Wall.DDS"), path("Data/Textures/Wall.DDS"));
}

TEST_F(ResolvePath, PrefersTheExactNameAndElseTheFirstInByteOrder) {
    makeDirectory("foo");
    makeDirectory("Foo");
    makeDirectory("fOO");
    EXPECT_EQ(resolvePath(path("foo")), path("foo"));
    EXPECT_EQ(resolvePath(path("fOO")), path("fOO"));
    EXPECT_EQ(resolvePath(path("FOO")), path("Foo"));
}

TEST_F(ResolvePath, KeepsWhatDoesNotExistAsWritten) {
    makeDirectory("Data");
    EXPECT_EQ(resolvePath(root_ + "\\data\\Missing\\DATA\\x.db0"), path("Data/Missing/DATA/x.db0"));
    EXPECT_EQ(resolvePath(""), "");
}

// --- findArchiveCandidates

using FindArchives = PlatformDir;

TEST_F(FindArchives, TakesEveryNameHoldingDotDbInAnyCase) {
    makeDirectory("Game/x.db");
    for (const char* name : {"b.db0", "A.DB1", "patch.Db5", "plain.db", "readme.txt", "db0", "x.d.b"}) {
        writeBytes(std::string("Game/") + name, Bytes(10, 0));
    }
    const FileTime stamp = fromUnixTime(1500000000, 123456700);
    const timespec times[2] = {{1500000000, 123456700}, {1500000000, 123456700}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path("Game/b.db0").c_str(), times, 0), 0);

    std::vector<FoundEntry> found = findArchiveCandidates(root_ + "\\game\\");
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.name < b.name; });

    std::vector<std::string> names;
    for (const FoundEntry& entry : found) names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::string>{"A.DB1", "b.db0", "patch.Db5", "plain.db", "x.db"}));
    EXPECT_EQ(found[1].openPath, path("Game/b.db0"));
    EXPECT_EQ(found[1].size, 10u);
    EXPECT_EQ(found[1].attributes & 0x10u, 0u);
    EXPECT_EQ(found[1].lastWriteTime, stamp);
    EXPECT_EQ(found[4].attributes & 0x10u, 0x10u);
    EXPECT_EQ(found[4].size, 0u);
}

// A walk that the system breaks off (readdir gives null with errno set) is a failure
// naming the directory and the reason, never a shorter listing taken for the whole:
// one archive missing from it changes which copy of a file wins. A missing directory
// still holds nothing.
TEST_F(FindArchives, AWalkThatBreaksOffFailsNamingTheDirectory) {
    for (const char* name : {"a.db0", "b.db0", "c.db0"}) writeBytes(name, {1});
    for (const int entries : {0, 1, 3}) {
        SCOPED_TRACE(entries);
        const testing::ReaddirFailure failing(entries, EOVERFLOW);
        EXPECT_EQ(failureText([&] { findArchiveCandidates(root_); }),
                  "cannot list the directory " + root_ + ": " + std::strerror(EOVERFLOW));
    }
    EXPECT_EQ(findArchiveCandidates(root_).size(), 3u);
    EXPECT_TRUE(findArchiveCandidates(path("missing")).empty());
    EXPECT_TRUE(findArchiveCandidates(path("a.db0")).empty());
}

// The same for a component looked up without regard to case: a match that the broken
// walk never reached must not turn into "not there".
TEST_F(ResolvePath, AWalkThatBreaksOffFails) {
    makeDirectory("Data");
    const testing::ReaddirFailure failing(0, EIO);
    EXPECT_EQ(failureText([&] { resolvePath(root_ + "\\DATA\\x.db0"); }),
              "cannot list the directory " + root_ + "/: " + std::strerror(EIO));
}

// --- readWindow

using ReadWindow = PlatformDir;

// Another process may truncate an archive at any moment (an updater replacing it, say).
// A window must not fault then: a mapped page past the file's new end raises SIGBUS on
// access, which would kill the host.
TEST_F(ReadWindow, StaysReadableWhenTheFileShrinks) {
    const std::size_t page = windowGranularity();
    const Bytes bytes = pattern(64 * page);
    writeBytes("a.db0", bytes);
    FileWindow window = readWindow(path("a.db0"), 2 * page, 60 * page);
    ASSERT_EQ(::truncate(path("a.db0").c_str(), 4096), 0);
    EXPECT_TRUE(std::equal(window.data, window.data + window.length, bytes.begin() + 2 * page));
    releaseWindow(window);
    // A window read after the file shrank is refused, not cut short.
    EXPECT_EQ(failureText([&] { readWindow(path("a.db0"), 0, 2 * page); }), "Window reaches past the end of the file!");
}

TEST_F(ReadWindow, MisalignedStartsAndDirectoriesFail) {
    const std::size_t page = windowGranularity();
    writeBytes("a.db0", pattern(2 * page));
    makeDirectory("dir.db");
    EXPECT_NE(failureText([&] { readWindow(path("a.db0"), 1, 1); }), "(no failure)");
    EXPECT_NE(failureText([&] { readWindow(path("dir.db"), 0, 1); }), "(no failure)");
}

// --- writeLocalFile

using WriteLocalFileOnPosix = PlatformDir;

WriteResult write(const std::string& path, const Bytes& bytes, bool overwrite) {
    return writeLocalFile(path, bytes.data(), bytes.size(), overwrite, fromUnixTime(1234567890));
}

TEST_F(WriteLocalFileOnPosix, NewFileKeepsItsNameAsWritten) {
    writeBytes("README.txt", {1});
    EXPECT_EQ(write(path("Readme.txt"), {2}, false), WriteResult::Written);
    EXPECT_EQ(readBytes("README.txt"), (Bytes{1}));
    EXPECT_EQ(readBytes("Readme.txt"), (Bytes{2}));
}

TEST_F(WriteLocalFileOnPosix, ALockedFolderFails) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions don't hold the superuser back";
    makeDirectory("locked");
    ::chmod(path("locked").c_str(), 0500);
    EXPECT_EQ(write(path("locked/out.dds"), {1}, false), WriteResult::Failed);
    ::chmod(path("locked").c_str(), 0700);
}

// A file size limit makes the write stop short: nothing partial may stay behind.
TEST_F(WriteLocalFileOnPosix, ShortWriteLeavesNoFile) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);

    const WriteResult fresh = write(path("big.dds"), pattern(3 * 4096), false);
    writeBytes("old.dds", {1, 2, 3});
    const WriteResult replaced = write(path("old.dds"), pattern(3 * 4096), true);

    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedSignal);
    EXPECT_EQ(fresh, WriteResult::Failed);
    EXPECT_EQ(replaced, WriteResult::Failed);
    EXPECT_FALSE(fs::exists(path("big.dds")));
    // The file that was to be replaced is as it was, and no temporary stays beside it.
    EXPECT_EQ(readBytes("old.dds"), (Bytes{1, 2, 3}));
    EXPECT_EQ(std::distance(fs::directory_iterator(root_), fs::directory_iterator()), 1);
}

// Overwriting replaces a regular file (through a symbolic link to one, which stays a
// link) and keeps its permissions; anything else in its place (a FIFO, which would
// block the open until a reader came, a link to one, a directory) fails at once.
TEST_F(WriteLocalFileOnPosix, OverwritingReplacesOnlyRegularFiles) {
    writeBytes("old.dds", {1, 2, 3});
    ::chmod(path("old.dds").c_str(), 0640);
    fs::create_symlink(path("old.dds"), path("link.dds"));
    EXPECT_EQ(write(path("link.dds"), {4, 5}, true), WriteResult::Written);
    EXPECT_EQ(readBytes("old.dds"), (Bytes{4, 5}));
    EXPECT_TRUE(fs::is_symlink(path("link.dds")));
    struct stat status {};
    ASSERT_EQ(::stat(path("old.dds").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);

    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0644), 0);
    // A reader keeps a write that opens the FIFO from waiting, so that a regression
    // fails this test instead of hanging it.
    const int reader = ::open(path("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    fs::create_symlink(path("fifo"), path("fifo-link"));
    makeDirectory("folder");
    for (const char* name : {"fifo", "fifo-link", "folder"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(write(path(name), {1}, true), WriteResult::Failed);
        EXPECT_EQ(write(path(name), {1}, false), WriteResult::AlreadyExists);
    }
    char byte = 0;
    EXPECT_EQ(::read(reader, &byte, 1), 0);  // nothing was written into it
    ::close(reader);
    EXPECT_EQ(fs::status(path("fifo")).type(), fs::fifo_file);
    EXPECT_EQ(std::distance(fs::directory_iterator(root_), fs::directory_iterator()), 5);
}

// --- the rest

TEST(Platform, ModulePathIsThisProgram) {
    const std::string module = modulePath(nullptr);
#ifdef __linux__
    EXPECT_EQ(module, fs::canonical("/proc/self/exe").string());
#else
    EXPECT_TRUE(fs::path(module).is_absolute());
#endif
}

TEST(Platform, SiblingPath) {
    EXPECT_EQ(siblingPath("/opt/dc/plugins/wfx/kestran.wfx", "kestran.ini"), "/opt/dc/plugins/wfx/kestran.ini");
    EXPECT_EQ(siblingPath("/kestran.wfx", "kestran.ini"), "/kestran.ini");
}

TEST(Platform, NoRegistry) {
    EXPECT_FALSE(readRegistryString("SOFTWARE\\Orvane\\KESTRAN-ARNA", "InstallPath"));
    EXPECT_FALSE(readRegistryDword("SOFTWARE\\Orvane\\KESTRAN-ARNA", "InstallPatchID"));
}

}  // namespace
}  // namespace kestran::platform
