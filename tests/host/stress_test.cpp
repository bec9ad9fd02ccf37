// Many host threads at once: listing (which loads), copying, properties and (on Linux)
// content fields across several installations, the way a host browses while copies run
// in the background. Built with ThreadSanitizer in the tsan preset.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "installations.h"

namespace kestran::hosttest {
namespace {

#if !defined(_WIN32)
namespace dc = kestran::plugin::dc;
#endif

constexpr int kThreads = 8;
constexpr int kRounds = 6;
constexpr int kInstallations = 4;

// Counted per thread: a counter the threads shared would order their calls into the
// plug-in and hide the races this test is there to find.
thread_local int progressCalls = 0;

int WINAPI countProgress(int, char*, char*, int) {
    ++progressCalls;
    return 0;
}

#if defined(_WIN32)
// Each thread's dialogs are read and closed by the host program's watcher; without a
// display none can open, and the verb is done all the same.
int formsShownInThisThread() { return dialogsSeenInThisThread(); }
int formsExpected() { return canShowWindows() ? kRounds : 0; }
#else
thread_local int formsShown = 0;

int countForm(std::intptr_t, unsigned long, dc::DlgProc) {
    ++formsShown;
    return 1;
}

int formsShownInThisThread() { return formsShown; }
int formsExpected() { return kRounds; }
#endif

struct ThreadTally {
    int failures = 0;
    int progressCalls = 0;
    int formsShown = 0;
};

std::string installationName(int index) { return "SET" + std::to_string(index); }

// A name that is not UTF-8 (Привет.dds in CP1251), and the name the host is shown for it:
// converted on Linux, its bytes on Windows.
const std::string kCyrillicName = "\xCF\xF0\xE8\xE2\xE5\xF2.dds";
#if defined(_WIN32)
const std::string kCyrillicShown = kCyrillicName;
#else
const std::string kCyrillicShown = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.dds";
#endif

TEST(HostThreads, ListingLoadingCopyingAndPropertiesAtOnce) {
    TempFolder temp;
    std::vector<InstallationLine> lines;
    for (int i = 0; i < kInstallations; ++i) {
        const fs::path root = temp.path() / installationName(i);
        writeArna(root);
        kestran::testing::ArchiveBuilder names(0);
        names.compressedFile("textures\\" + kCyrillicName, bytesOf(floorTexture()));
        writeArchive(root / "resources.db2", names, kNewTime);
        lines.push_back({installationName(i), "3312", root});
    }
    PluginHost host(temp.path() / "plugin", settingsFor(lines));
    host.FsInit(1, countProgress, nullptr, nullptr);
#if !defined(_WIN32)
    auto info = std::make_unique<dc::ExtensionStartupInfo>();
    std::memset(info.get(), 0, sizeof *info);
    info->StructSize = sizeof *info;
    info->DialogBoxLFM = countForm;
    host.ExtensionInitialize(info.get());
#endif

    std::vector<ThreadTally> tallies(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ThreadTally& tally = tallies[static_cast<std::size_t>(t)];
            auto check = [&tally](bool ok) {
                if (!ok) ++tally.failures;
            };
            const fs::path out = temp.path() / ("out" + std::to_string(t));
            fs::create_directories(out);
            for (int round = 0; round < kRounds; ++round) {
                // Each thread starts on another installation, so loads overlap with
                // listings and copies of sets that are already loaded.
                const std::string name = "/" + installationName((t + round) % kInstallations);
                check(host.list("/").size() == kInstallations);
                check(host.list(name).size() == 7);
                check(host.list(name + "/textures").size() == 3);
                const fs::path target = out / ("wall" + std::to_string(round));
                check(host.getFile(name + "/textures/wall.dds", target, 0) == FS_FILE_OK);
                check(readFile(target) == newWall());
                const fs::path floor = out / ("floor" + std::to_string(round));
                check(host.getFile(name + "/textures/floor.dds", floor, FS_COPYFLAGS_OVERWRITE) == FS_FILE_OK);
                check(fs::file_size(floor) == floorTexture().size());
                const fs::path cyrillic = out / ("cyrillic" + std::to_string(round));
                check(host.getFile(name + "/textures/" + kCyrillicShown, cyrillic, 0) == FS_FILE_OK);
                check(readFile(cyrillic) == floorTexture());
                check(host.execute(name + "/textures/wall.dds", "properties") == FS_EXEC_OK);
#if !defined(_WIN32)
                check(host.content(name + "/textures/wall.dds", 0).text == "resources.db1");
                check(host.content(name + "/textures/" + kCyrillicShown, 3).text == "LZO");
#endif
                check(host.getFile(name + "/missing", out / "missing", 0) == FS_FILE_NOTFOUND);
            }
            tally.progressCalls = progressCalls;
            tally.formsShown = formsShownInThisThread();
        });
    }
    for (auto& thread : threads) thread.join();
    for (const ThreadTally& tally : tallies) {
        EXPECT_EQ(tally.failures, 0);
        EXPECT_EQ(tally.progressCalls, kRounds * 7);
        EXPECT_EQ(tally.formsShown, formsExpected());
    }
}

}  // namespace
}  // namespace kestran::hosttest
