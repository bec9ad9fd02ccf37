// Root listing, the first listing that loads, listings after a failed load, and the
// trivial exports, through the built plug-in.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <memory>
#include <thread>

#include "installations.h"

namespace kestran::hosttest {
namespace {

// The thread's last-error value (errno on Linux) before a call, to see whether the
// call set it.
constexpr DWORD kUntouched = 4321;

using kestran::plugin::hostLastError;
using kestran::plugin::setHostLastError;

class ListingTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeArna(arna);
        writeVesk(vesk);
        fs::create_directories(broken);
        std::ofstream(broken / "bad.db0") << "this is no archive at all";
        host = std::make_unique<PluginHost>(
            temp.path() / "plugin",
            settingsFor({{"VESK", "3312", vesk}, {"ARNA", "3312", arna}, {"BROKEN", "3312en", broken}}));
        ASSERT_EQ(host->FsInit(7, nullptr, nullptr, nullptr), 0);
    }

    // FsFindFirst alone: the handle, and the last-error value as the call left it.
    HANDLE findFirst(const std::string& path, WIN32_FIND_DATAA& record, DWORD& errorAfter) {
        std::string text = hostPath(path);
        setHostLastError(kUntouched);
        HANDLE handle = host->FsFindFirst(text.data(), &record);
        errorAfter = hostLastError();
        return handle;
    }

    TempFolder temp;
    fs::path arna = temp.path() / "games" / "arna";
    fs::path vesk = temp.path() / "games" / "vesk";
    fs::path broken = temp.path() / "games" / "broken";
    std::unique_ptr<PluginHost> host;
};

TEST_F(ListingTest, RootListsInstallationsAsReadOnlyDirectoriesStampedNow) {
    const std::uint64_t before = ticksOf(std::time(nullptr));
    const auto records = host->list("/");
    const std::uint64_t after = ticksOf(std::time(nullptr) + 1);
    ASSERT_EQ(PluginHost::names(records), (std::vector<std::string>{"ARNA", "BROKEN", "VESK"}));
    for (const auto& r : records) {
        EXPECT_EQ(r.attributes, kDirectoryAttributes);
        EXPECT_EQ(r.mode, kDirectoryMode);
        EXPECT_EQ(r.sizeLow, 0u);
        EXPECT_EQ(r.ticks, records[0].ticks);
    }
    EXPECT_GE(records[0].ticks, before);
    EXPECT_LE(records[0].ticks, after);
}

TEST_F(ListingTest, FindNextAfterTheEndLeavesTheRecordAlone) {
    WIN32_FIND_DATAA record{};
    DWORD errorAfter = 0;
    HANDLE handle = findFirst("/", record, errorAfter);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(errorAfter, kUntouched);
    EXPECT_EQ(host->FsFindNext(handle, &record), TRUE);
    EXPECT_EQ(host->FsFindNext(handle, &record), TRUE);
    EXPECT_STREQ(record.cFileName, "VESK");
    std::memset(&record, 0x5A, sizeof record);
    EXPECT_EQ(host->FsFindNext(handle, &record), FALSE);
    EXPECT_EQ(static_cast<unsigned char>(record.cFileName[0]), 0x5Au);
    EXPECT_EQ(host->FsFindClose(handle), 0);
    EXPECT_EQ(host->FsFindClose(nullptr), 0);
}

TEST_F(ListingTest, EmptyRootGivesInvalidHandleAndLeavesTheLastError) {
    PluginHost empty(temp.path() / "empty-plugin", "[main]\nuse_registry = false\n");
    empty.FsInit(0, nullptr, nullptr, nullptr);
    std::string root = hostPath("/");
    WIN32_FIND_DATAA record{};
    setHostLastError(kUntouched);
    EXPECT_EQ(empty.FsFindFirst(root.data(), &record), INVALID_HANDLE_VALUE);
    EXPECT_EQ(hostLastError(), kUntouched);
}

TEST_F(ListingTest, FirstListingLoadsAndListsTheMergedTree) {
    const auto top = host->list("/ARNA");
    ASSERT_EQ(PluginHost::names(top), (std::vector<std::string>{"beyond.bin", "damaged.bin", "docs", "empty.txt",
                                                                "junk.raw", "levels", "textures"}));
    EXPECT_EQ(top[2].attributes, kDirectoryAttributes);
    EXPECT_EQ(top[2].mode, kDirectoryMode);
    EXPECT_EQ(top[4].attributes, kFileAttributes);
    EXPECT_EQ(top[4].mode, kFileMode);
    EXPECT_EQ(top[4].sizeLow, 32u);
    EXPECT_EQ(top[4].ticks, ticksOf(kOldTime));

    // The later archive's wall.dds wins, with its size and its archive's time.
    const auto textures = host->list("/ARNA/textures");
    ASSERT_EQ(PluginHost::names(textures), (std::vector<std::string>{"floor.dds", "wall.dds"}));
    EXPECT_EQ(textures[0].sizeLow, floorTexture().size());
    EXPECT_EQ(textures[1].sizeLow, newWall().size());
    EXPECT_EQ(textures[1].ticks, ticksOf(kNewTime));
    EXPECT_EQ(textures[0].ticks, ticksOf(kOldTime));

    // Later listings come from memory while the archives stay as they were; once they
    // are gone, the installation lists what it holds now: nothing.
    EXPECT_EQ(PluginHost::names(host->list("/ARNA/")), PluginHost::names(top));
    EXPECT_EQ(PluginHost::names(host->list("/ARNA/levels")), (std::vector<std::string>{"l01"}));
    fs::remove_all(arna);
    EXPECT_TRUE(host->list("/ARNA/").empty());
}

TEST_F(ListingTest, PathsWithNothingToListGiveInvalidHandle) {
    host->list("/ARNA");
    struct Case {
        const char* path;
        DWORD errorAfter;
    };
    const Case cases[] = {
        {"/XYZ", ERROR_NO_MORE_FILES},          // not configured
        {"/ARNA/docs/readme.txt", kUntouched},  // a file
        {"/ARNA/missing", kUntouched},          // not in the tree
        {"/ARNA/levels/l01", kUntouched},       // a directory without children
        {"ARNA", kUntouched},                   // outside the scheme
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        WIN32_FIND_DATAA record{};
        DWORD errorAfter = 0;
        EXPECT_EQ(findFirst(c.path, record, errorAfter), INVALID_HANDLE_VALUE);
        EXPECT_EQ(errorAfter, c.errorAfter);
    }
}

TEST_F(ListingTest, FailedLoadIsReportedAndTriedAgainOnTheNextListing) {
    WIN32_FIND_DATAA record{};
    DWORD errorAfter = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(findFirst("/BROKEN", record, errorAfter), INVALID_HANDLE_VALUE);
        EXPECT_EQ(errorAfter, ERROR_NO_MORE_FILES);
    }
    // Copying and properties never load, so they find nothing either.
    EXPECT_EQ(host->getFile("/BROKEN/x.txt", temp.path() / "x.txt", 0), FS_FILE_NOTFOUND);
    EXPECT_EQ(host->execute("/BROKEN/x.txt", "properties"), FS_EXEC_ERROR);

    // Mended on disk: the next listing loads it.
    fs::remove(broken / "bad.db0");
    kestran::testing::ArchiveBuilder good(1);
    good.storedFile("fixed.txt", bytesOf("fixed"));
    writeArchive(broken / "bad.db0", good, kNewTime);
    EXPECT_EQ(PluginHost::names(host->list("/BROKEN")), (std::vector<std::string>{"fixed.txt"}));
}

TEST_F(ListingTest, SettingsAreReadOnceWhileTheLibraryIsLoaded) {
    const auto before = PluginHost::names(host->list("/"));
    // New settings, then a new host thread: on Windows its start and end reach the
    // DLL's entry point, which must not read the settings again.
    std::ofstream(temp.path() / "plugin" / "kestran.ini") << settingsFor({{"LATER", "3312", vesk}});
    std::vector<std::string> seenInThread;
    std::thread([&] { seenInThread = PluginHost::names(host->list("/")); }).join();
    EXPECT_EQ(seenInThread, before);
    EXPECT_EQ(PluginHost::names(host->list("/")), before);
}

TEST_F(ListingTest, RootNameIsCutToTheBuffer) {
    struct Case {
        int size;
        std::string expected;
    };
    const std::string name = "K.E.S.T.R.A.N. db explorer";
    for (const Case& c : {Case{260, name}, Case{27, name}, Case{26, name.substr(0, 25)}, Case{10, name.substr(0, 9)}}) {
        SCOPED_TRACE(c.size);
        std::vector<char> buffer(300, 'x');
        host->FsGetDefRootName(buffer.data(), c.size);
        EXPECT_EQ(std::string(buffer.data()), c.expected);
        EXPECT_EQ(buffer[static_cast<std::size_t>(c.size)], 'x');
    }
    std::string dir = hostPath("/ARNA");
    host->FsStatusInfo(dir.data(), 0, 1);
    host->FsStatusInfo(dir.data(), 1, 1);
}

}  // namespace
}  // namespace kestran::hosttest
