// The Windows side of the platform layer, run on Windows or under Wine.
#ifdef _WIN32

#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>

#include "common/failure.h"
#include "platform/platform.h"
#include "platform_test_support.h"

namespace kestran::platform {
namespace {

namespace fs = boost::filesystem;

// Creation, last-access and last-write time of a file, in that order.
struct Times {
    FileTime creation, access, write;
};

FileTime toFileTime(const FILETIME& time) { return FileTime{time.dwLowDateTime, time.dwHighDateTime}; }
FILETIME toFILETIME(FileTime time) { return FILETIME{time.dwLowDateTime, time.dwHighDateTime}; }

Times timesOf(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
    FILETIME creation{}, access{}, write{};
    GetFileTime(file, &creation, &access, &write);
    CloseHandle(file);
    return Times{toFileTime(creation), toFileTime(access), toFileTime(write)};
}

void setTimes(const std::string& path, const Times& times) {
    const HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    const FILETIME creation = toFILETIME(times.creation), access = toFILETIME(times.access),
                   write = toFILETIME(times.write);
    EXPECT_TRUE(SetFileTime(file, &creation, &access, &write));
    CloseHandle(file);
}

bool runningUnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// --- findArchiveCandidates

using FindArchives = PlatformDir;

TEST_F(FindArchives, TakesEveryNameHoldingDotDbInAnyCaseWithItsFindData) {
    makeDirectory("Game\\x.db");
    for (const char* name : {"b.db0", "A.DB1", "patch.Db5", "plain.db", "readme.txt", "db0", "x.d.b"}) {
        writeBytes(std::string("Game\\") + name, Bytes(10, 0));
    }
    writeBytes("Game\\big.db2", pattern(70000));
    const Times stamp{fromUnixTime(1100000000), fromUnixTime(1300000000), fromUnixTime(1500000000, 123456700)};
    setTimes(path("Game\\b.db0"), stamp);

    std::vector<FoundEntry> found = findArchiveCandidates(path("game"));
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.name < b.name; });

    std::vector<std::string> names;
    for (const FoundEntry& entry : found) names.push_back(entry.name);
    ASSERT_EQ(names, (std::vector<std::string>{"A.DB1", "b.db0", "big.db2", "patch.Db5", "plain.db", "x.db"}));
    EXPECT_EQ(found[1].openPath, path("game") + "\\b.db0");
    EXPECT_EQ(found[1].size, 10u);
    EXPECT_EQ(found[1].attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    if (!runningUnderWine()) {  // Wine's directory listing takes the creation time from the Unix side
        EXPECT_EQ(found[1].creationTime, stamp.creation);
    }
    EXPECT_EQ(found[1].lastAccessTime, stamp.access);
    EXPECT_EQ(found[1].lastWriteTime, stamp.write);
    EXPECT_EQ(found[2].size, 70000u);
    EXPECT_EQ(found[5].attributes & FILE_ATTRIBUTE_DIRECTORY, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(FindArchives, DirectoryWithTrailingBackslashIsSearchedToo) {
    writeBytes("a.db0", {1});
    const std::vector<FoundEntry> found = findArchiveCandidates(root_ + "\\");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].openPath, root_ + "\\\\a.db0");  // the loader collapses the doubled separator
}

// --- readWindow

using ReadWindow = PlatformDir;

TEST_F(ReadWindow, GranularityIsTheAllocationGranularity) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    EXPECT_EQ(windowGranularity(), info.dwAllocationGranularity);
}

// Only the window's own pages are mapped, never the rest of the archive.
TEST_F(ReadWindow, MapsNoMoreThanTheWindow) {
    const std::size_t granularity = windowGranularity();
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const std::size_t page = info.dwPageSize;
    writeBytes("a.db0", pattern(8 * granularity));

    FileWindow window = readWindow(path("a.db0"), 2 * granularity, page + 1);
    MEMORY_BASIC_INFORMATION region{};
    ASSERT_EQ(VirtualQuery(window.data, &region, sizeof(region)), sizeof(region));
    EXPECT_EQ(region.AllocationBase, window.handle);
    EXPECT_EQ(region.Type, static_cast<DWORD>(MEM_MAPPED));
    EXPECT_EQ(region.RegionSize, 2 * page);
    const auto* after = static_cast<const std::uint8_t*>(region.BaseAddress) + region.RegionSize;
    ASSERT_EQ(VirtualQuery(after, &region, sizeof(region)), sizeof(region));
    EXPECT_NE(region.AllocationBase, window.handle);
    releaseWindow(window);
}

// The archive is only held while the window is mapped: afterwards another program
// may open it for writing, and the view still shows the bytes.
TEST_F(ReadWindow, ClosesTheFileOnceMapped) {
    const Bytes bytes = pattern(1000);
    writeBytes("a.db0", bytes);
    FileWindow window = readWindow(path("a.db0"), 0, bytes.size());
    const HANDLE writer = CreateFileA(path("a.db0").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(writer, INVALID_HANDLE_VALUE);
    CloseHandle(writer);
    EXPECT_TRUE(std::equal(window.data, window.data + window.length, bytes.begin()));
    releaseWindow(window);
}

TEST_F(ReadWindow, Failures) {
    writeBytes("a.db0", pattern(1000));
    makeDirectory("dir.db");
    EXPECT_EQ(failureText([&] { readWindow(path("dir.db"), 0, 1); }), "Can't open file!");
    EXPECT_EQ(failureText([&] { readWindow(path("a.db0"), 1, 1); }),
              "Window start not aligned to the mapping granularity!");

    // Held open for writing by someone who shares it with nobody.
    const HANDLE locked = CreateFileA(path("a.db0").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    EXPECT_EQ(failureText([&] { readWindow(path("a.db0"), 0, 1); }), "Can't open file!");
    CloseHandle(locked);
}

// --- writeLocalFile

class WriteLocalFileOnWindows : public PlatformDir {
protected:
    const FileTime time_ = fromUnixTime(1234567890, 987654300);

    WriteResult write(const std::string& relative, const Bytes& bytes, bool overwrite) const {
        return writeLocalFile(path(relative), bytes.data(), bytes.size(), overwrite, time_);
    }

    void expectStamped(const std::string& relative) const {
        const Times times = timesOf(path(relative));
        EXPECT_EQ(times.creation, time_);
        EXPECT_EQ(times.access, time_);
        EXPECT_EQ(times.write, time_);
    }
};

// Windows also keeps a creation time, and names match without regard to case.
TEST_F(WriteLocalFileOnWindows, StampsTheCreationTimeToo) {
    EXPECT_EQ(write("out.dds", pattern(10), false), WriteResult::Written);
    expectStamped("out.dds");
    EXPECT_EQ(write("OUT.DDS", {9}, false), WriteResult::AlreadyExists);
}

// A target that its owner holds open without sharing writes is neither replaced nor
// removed.
TEST_F(WriteLocalFileOnWindows, ABusyTargetFailsAndStays) {
    writeBytes("busy.dds", {4, 5});
    const HANDLE busy =
        CreateFileA(path("busy.dds").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);
    EXPECT_EQ(write("busy.dds", {1}, true), WriteResult::Failed);
    CloseHandle(busy);
    EXPECT_EQ(readBytes("busy.dds"), (Bytes{4, 5}));
}

// --- the rest

TEST(Platform, ModulePathIsThisProgram) {
    const std::string module = modulePath(nullptr);
    ASSERT_GT(module.size(), 3u);
    EXPECT_EQ(module.substr(1, 2), ":\\");
    EXPECT_EQ(module.substr(module.size() - 19), "\\platform_tests.exe");
    EXPECT_EQ(modulePath(GetModuleHandleA(nullptr)), module);

    int notAModule = 0;
    EXPECT_EQ(modulePath(&notAModule), "");
}

TEST(Platform, SiblingPath) {
    EXPECT_EQ(siblingPath("C:\\Games\\TC\\plugins\\kestran.wfx64", "kestran.ini"),
              "C:\\Games\\TC\\plugins\\kestran.ini");
    EXPECT_EQ(siblingPath("\\\\server\\share\\tc\\kestran.wfx", "kestran.ini"), "\\\\server\\share\\tc\\kestran.ini");
    if (GetACP() == 1252) {  // an ANSI name goes through unchanged
        EXPECT_EQ(siblingPath("C:\\Spiele\\M\xE4rz\\kestran.wfx", "kestran.ini"), "C:\\Spiele\\M\xE4rz\\kestran.ini");
    }
}

// --- registry reads, against a key of the test's own under HKEY_LOCAL_MACHINE

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        subKey_ = "SOFTWARE\\KestranTests\\" + std::to_string(GetCurrentProcessId());
        // Written through the 32-bit view, where the game's editions leave their keys.
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                            nullptr, &key_, nullptr) != ERROR_SUCCESS) {
            key_ = nullptr;
            GTEST_SKIP() << "no write access to HKEY_LOCAL_MACHINE";
        }
    }
    void TearDown() override {
        if (key_ == nullptr) return;
        RegCloseKey(key_);
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, subKey_.c_str(), KEY_WOW64_32KEY, 0);
        // The common parent goes once no other run still has a key below it.
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\KestranTests", KEY_WOW64_32KEY, 0);
    }

    void set(const char* name, DWORD type, const void* data, DWORD size) const {
        ASSERT_EQ(RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }
    void setString(const char* name, const std::string& text) const {
        set(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
    }

    // The key as the build reads it: a 64-bit program names the 32-bit view directly.
    std::string readPath() const {
#ifdef _WIN64
        return "SOFTWARE\\Wow6432Node\\KestranTests\\" + std::to_string(GetCurrentProcessId());
#else
        return subKey_;
#endif
    }

    std::string subKey_;
    HKEY key_ = nullptr;
};

TEST_F(Registry, ReadsStringsOfTypeSzOnly) {
    setString("InstallPath", "C:\\Games\\ARNA");
    setString("Empty", "");
    setString("Long", std::string(1000, 'x'));
    set("Unterminated", REG_SZ, "D:\\x", 4);
    const DWORD number = 1498;
    set("Number", REG_DWORD, &number, sizeof(number));
    set("Multi", REG_MULTI_SZ, "a\0b\0", 5);

    const std::string key = readPath();
    EXPECT_EQ(readRegistryString(key, "InstallPath"), std::string("C:\\Games\\ARNA"));
    EXPECT_EQ(readRegistryString(key, "Empty"), std::string());
    EXPECT_EQ(readRegistryString(key, "Long"), std::string(1000, 'x'));
    EXPECT_EQ(readRegistryString(key, "Unterminated"), std::string("D:\\x"));
    EXPECT_EQ(readRegistryString(key, "Number"), std::nullopt);
    EXPECT_EQ(readRegistryString(key, "Multi"), std::nullopt);
    EXPECT_EQ(readRegistryString(key, "Missing"), std::nullopt);
    EXPECT_EQ(readRegistryString(key + "\\Missing", "InstallPath"), std::nullopt);
}

TEST_F(Registry, ReadsNumbersOfTypeDwordOnly) {
    const DWORD number = 1357, top = 0xFFFFFFFFu;
    const unsigned long long quad = 1357;
    set("InstallPatchID", REG_DWORD, &number, sizeof(number));
    set("Top", REG_DWORD, &top, sizeof(top));
    set("Quad", REG_QWORD, &quad, sizeof(quad));
    set("Binary", REG_BINARY, &number, sizeof(number));
    setString("Text", "1357");

    const std::string key = readPath();
    EXPECT_EQ(readRegistryDword(key, "InstallPatchID"), 1357u);
    EXPECT_EQ(readRegistryDword(key, "Top"), 0xFFFFFFFFu);
    for (const char* name : {"Quad", "Binary", "Text", "Missing"}) {
        EXPECT_EQ(readRegistryDword(key, name), std::nullopt) << name;
    }
    EXPECT_EQ(readRegistryDword(key + "\\Missing", "InstallPatchID"), std::nullopt);
}

}  // namespace
}  // namespace kestran::platform

#endif  // _WIN32
