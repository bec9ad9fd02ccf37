// FsGetFile through the built plug-in: every copy flag, every result code, the
// progress calls and aborts, and the local file's bytes and times.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "installations.h"

namespace kestran::hosttest {
namespace {

constexpr int kPluginNumber = 3;

struct ProgressCall {
    int pluginNumber;
    std::string source;
    std::string target;
    int percent;
};

// The host's progress function has no context pointer: the calls go to one log.
std::vector<ProgressCall> progressCalls;
int abortAtPercent = -1;

int WINAPI recordProgress(int pluginNumber, char* source, char* target, int percent) {
    progressCalls.push_back({pluginNumber, source, target, percent});
    return percent == abortAtPercent ? 1 : 0;
}

std::vector<int> percents() {
    std::vector<int> out;
    for (const auto& call : progressCalls) out.push_back(call.percent);
    return out;
}

std::int64_t modificationTime(const fs::path& file) { return fileTimes(file).modification; }

std::int64_t accessTime(const fs::path& file) { return fileTimes(file).access; }

class CopyTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeArna(temp.path() / "arna");
        writeVesk(temp.path() / "vesk");
        host = std::make_unique<PluginHost>(
            temp.path() / "plugin",
            settingsFor({{"ARNA", "3312", temp.path() / "arna"}, {"VESK", "3312", temp.path() / "vesk"}}));
        host->FsInit(kPluginNumber, recordProgress, nullptr, nullptr);
        ASSERT_FALSE(host->list("/ARNA").empty());
        fs::create_directories(out);
        progressCalls.clear();
        abortAtPercent = -1;
    }

    TempFolder temp;
    fs::path out = temp.path() / "out";
    std::unique_ptr<PluginHost> host;
};

TEST_F(CopyTest, CopiesTheWinningOccurrenceStampedWithItsArchiveTime) {
    const fs::path wall = out / "wall.dds";
    EXPECT_EQ(host->getFile("/ARNA/textures/wall.dds", wall, 0), FS_FILE_OK);
    EXPECT_EQ(modificationTime(wall), kNewTime);
    EXPECT_EQ(accessTime(wall), kNewTime);  // before reading it sets the access time
    EXPECT_EQ(readFile(wall), newWall());

    // The host gets its own texts back, at 0 and at 100 percent only.
    ASSERT_EQ(progressCalls.size(), 2u);
    EXPECT_EQ(progressCalls[0].pluginNumber, kPluginNumber);
    EXPECT_EQ(progressCalls[0].source, hostPath("/ARNA/textures/wall.dds"));
    EXPECT_EQ(progressCalls[0].target, wall.string());
    EXPECT_EQ(percents(), (std::vector<int>{0, 100}));

    const fs::path floor = out / "floor.dds";
    EXPECT_EQ(host->getFile("/ARNA/textures/floor.dds", floor, 0), FS_FILE_OK);
    EXPECT_EQ(readFile(floor), floorTexture());
    EXPECT_EQ(modificationTime(floor), kOldTime);

    const fs::path empty = out / "empty.txt";
    EXPECT_EQ(host->getFile("/ARNA/empty.txt", empty, 0), FS_FILE_OK);
    EXPECT_EQ(fs::file_size(empty), 0u);
    EXPECT_EQ(modificationTime(empty), kOldTime);
}

TEST_F(CopyTest, CopyFlags) {
    struct Case {
        int flags;
        int result;
        bool progressCalled;
    };
    const Case cases[] = {
        {FS_COPYFLAGS_RESUME, FS_FILE_NOTSUPPORTED, false},
        {FS_COPYFLAGS_MOVE, FS_FILE_NOTSUPPORTED, false},
        {FS_COPYFLAGS_RESUME | FS_COPYFLAGS_MOVE, FS_FILE_NOTSUPPORTED, false},
        {FS_COPYFLAGS_OVERWRITE | FS_COPYFLAGS_MOVE, FS_FILE_NOTSUPPORTED, false},
        {8, FS_FILE_OK, true},
        {16, FS_FILE_OK, true},
        {FS_COPYFLAGS_OVERWRITE, FS_FILE_OK, true},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        progressCalls.clear();
        const fs::path target = out / ("flags" + std::to_string(index++));
        EXPECT_EQ(host->getFile("/ARNA/docs/readme.txt", target, c.flags), c.result);
        EXPECT_EQ(progressCalls.empty(), !c.progressCalled);
        EXPECT_EQ(fs::exists(target), c.result == FS_FILE_OK);
    }
}

TEST_F(CopyTest, ExistingTargetIsKeptWithoutOverwriteAndReplacedWithIt) {
    const fs::path target = out / "readme.txt";
    std::ofstream(target) << "mine";
    setModificationTime(target, 1234567890);
    EXPECT_EQ(host->getFile("/ARNA/docs/readme.txt", target, 0), FS_FILE_EXISTS);
    EXPECT_EQ(readFile(target), "mine");
    EXPECT_EQ(modificationTime(target), 1234567890);

    EXPECT_EQ(host->getFile("/ARNA/docs/readme.txt", target, FS_COPYFLAGS_OVERWRITE), FS_FILE_OK);
    EXPECT_EQ(readFile(target), "read me");
    EXPECT_EQ(modificationTime(target), kOldTime);
}

TEST_F(CopyTest, FailuresAndTheirResults) {
    struct Case {
        const char* remote;
        const char* local;  // below out; nullptr for a folder that does not exist
        int result;
    };
    const Case cases[] = {
        {"/ARNA/missing.txt", "a", FS_FILE_NOTFOUND},
        {"ARNA/docs/readme.txt", "b", FS_FILE_NOTFOUND},  // outside the scheme
        {"/VESK/notes.txt", "c", FS_FILE_NOTFOUND},       // configured, never listed: not loaded
        {"/XYZ/notes.txt", "d", FS_FILE_NOTFOUND},        // not configured
        {"/ARNA/damaged.bin", "e", FS_FILE_READERROR},    // compressed bytes that don't unpack
        {"/ARNA/beyond.bin", "f", FS_FILE_READERROR},     // past the archive's end
        {"/ARNA/docs/readme.txt", nullptr, FS_FILE_WRITEERROR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.remote);
        progressCalls.clear();
        const fs::path target = c.local != nullptr ? out / c.local : out / "no-such-folder" / "x";
        EXPECT_EQ(host->getFile(c.remote, target, 0), c.result);
        EXPECT_FALSE(fs::exists(target));
        EXPECT_EQ(percents(), std::vector<int>{0});
    }
    // Copying never loads: VESK still needs its listing.
    EXPECT_EQ(PluginHost::names(host->list("/VESK")), std::vector<std::string>{"notes.txt"});
    EXPECT_EQ(host->getFile("/VESK/notes.txt", out / "notes.txt", 0), FS_FILE_OK);
}

TEST_F(CopyTest, ArchiveGoneAfterListingIsNotFound) {
    fs::remove(temp.path() / "arna" / "resources.db1");
    EXPECT_EQ(host->getFile("/ARNA/textures/wall.dds", out / "wall.dds", 0), FS_FILE_NOTFOUND);
    EXPECT_FALSE(fs::exists(out / "wall.dds"));
}

// A modder rebuilds an archive while the file manager is open (in place, or a new file
// renamed over it): the offsets of the first load point into other data now, so a copy
// before the next listing is a read error, never another member's bytes, for stored and
// packed members alike. The next listing inside the installation loads it again, and
// then the rebuilt archive's files list and copy.
TEST_F(CopyTest, AnArchiveRebuiltAfterTheListingIsAReadErrorUntilTheNextListingLoadsItAgain) {
    const fs::path archive = temp.path() / "arna" / "resources.db0";
    for (const bool renamedOver : {false, true}) {
        SCOPED_TRACE(renamedOver ? "renamed over" : "rebuilt in place");
        ASSERT_EQ(host->getFile("/ARNA/docs/readme.txt", out / "readme.txt", FS_COPYFLAGS_OVERWRITE), FS_FILE_OK);
        // The same members behind a new one in front: every offset moves.
        kestran::testing::ArchiveBuilder rebuilt(0);
        rebuilt.storedFile("added.txt", bytesOf(std::string(4096, 'x')))
            .storedFile("docs\\readme.txt", bytesOf("read me, again"))
            .compressedFile("textures\\floor.dds", bytesOf(floorTexture()));
        const fs::path written = renamedOver ? temp.path() / "arna" / "rebuilt.tmp" : archive;
        writeArchive(written, rebuilt, kOldTime + (renamedOver ? 200 : 100));
        if (renamedOver) fs::rename(written, archive);

        for (const char* file : {"/ARNA/docs/readme.txt", "/ARNA/textures/floor.dds"}) {
            SCOPED_TRACE(file);
            EXPECT_EQ(host->getFile(file, out / "copy", FS_COPYFLAGS_OVERWRITE), FS_FILE_READERROR);
        }
        EXPECT_EQ(readFile(out / "readme.txt"), renamedOver ? "read me, again" : "read me");

        const auto top = PluginHost::names(host->list("/ARNA"));
        EXPECT_NE(std::find(top.begin(), top.end(), "added.txt"), top.end());
        EXPECT_EQ(host->getFile("/ARNA/docs/readme.txt", out / "readme.txt", FS_COPYFLAGS_OVERWRITE), FS_FILE_OK);
        EXPECT_EQ(readFile(out / "readme.txt"), "read me, again");
        EXPECT_EQ(host->getFile("/ARNA/textures/floor.dds", out / "floor.dds", FS_COPYFLAGS_OVERWRITE), FS_FILE_OK);
        EXPECT_EQ(readFile(out / "floor.dds"), floorTexture());
    }
}

TEST_F(CopyTest, ProgressAborts) {
    abortAtPercent = 0;
    EXPECT_EQ(host->getFile("/ARNA/docs/readme.txt", out / "at0.txt", 0), FS_FILE_USERABORT);
    EXPECT_FALSE(fs::exists(out / "at0.txt"));
    EXPECT_EQ(percents(), std::vector<int>{0});

    progressCalls.clear();
    abortAtPercent = 100;
    EXPECT_EQ(host->getFile("/ARNA/docs/readme.txt", out / "at100.txt", 0), FS_FILE_USERABORT);
    EXPECT_EQ(readFile(out / "at100.txt"), "read me");
    EXPECT_EQ(modificationTime(out / "at100.txt"), kOldTime);
    EXPECT_EQ(percents(), (std::vector<int>{0, 100}));
}

}  // namespace
}  // namespace kestran::hosttest
