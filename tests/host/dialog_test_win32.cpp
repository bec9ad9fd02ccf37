// The File Properties dialog as a Windows host shows it: FsExecuteFile "properties"
// opens dialog 102 from the DLL's resources; the host program reads it back on screen
// and closes it with the Close button, Esc or the caption's close box. Needs a
// display: under Wine, an X server (scripts/test-windows.sh starts Xvfb).
//
// With KESTRAN_DIALOG_SHOT_DIR set, the first dialog stays open until a screenshot is
// taken: the program writes dialog-open (with what it read) into that folder and
// waits for shot-taken to appear there (tests/host/dialog_screenshot.sh).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "plugin_host.h"

namespace kestran::hosttest {
namespace {

using Lines = std::vector<std::string>;

constexpr std::int64_t kTime = 1600000000;

// Keeps the dialog open for the screenshot script, at most a minute.
DialogWatcher::KeepOpen screenshotHandshake() {
    const char* folder = std::getenv("KESTRAN_DIALOG_SHOT_DIR");
    if (folder == nullptr || *folder == '\0') return {};
    const fs::path dir = localPath(folder);
    auto deadline = std::make_shared<std::chrono::steady_clock::time_point>();
    return [dir, deadline](HWND, const DialogSeen& seen) {
        if (*deadline == std::chrono::steady_clock::time_point()) {
            *deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
            std::ofstream out(dir / "dialog-open");
            out << "caption: " << seen.caption << "\nfile name: " << seen.path << "\nfile size: " << seen.size
                << "\narchives:\n";
            for (const std::string& archive : seen.archives) out << "  " << archive << "\n";
            return true;
        }
        return !fs::exists(dir / "shot-taken") && std::chrono::steady_clock::now() < *deadline;
    };
}

class PropertiesDialog : public ::testing::Test {
protected:
    void SetUp() override {
        if (!canShowWindows())
            GTEST_SKIP() << "SKIPPED: this Wine cannot show windows (no X display); "
                            "scripts/test-windows.sh runs the dialog tests under Xvfb";
        // textures\wall.dds is held by P, Q and R, read in that order; each copy has
        // a size of its own.
        const char* const archives[] = {"p.db0", "q.db0", "r.db0"};
        for (int i = 0; i < 3; ++i) {
            kestran::testing::ArchiveBuilder builder(0);
            builder.storedFile("textures\\wall.dds", bytesOf(std::string(static_cast<std::size_t>(10 * (i + 1)), 'w')));
            if (i == 0) builder.storedFile("docs\\readme.txt", bytesOf("read me"));
            writeArchive(root / archives[i], builder, kTime);
        }
        host = std::make_unique<PluginHost>(temp.path() / "plugin", settingsFor({{"SET", "3312", root}}));
        host->FsInit(0, nullptr, nullptr, nullptr);
        ASSERT_EQ(PluginHost::names(host->list("/SET")), (Lines{"docs", "textures"}));
    }

    std::string archive(const char* name) const { return lowerCase((root / name).string()); }

    TempFolder temp;
    fs::path root = temp.path() / "Game";
    std::unique_ptr<PluginHost> host;
};

TEST_F(PropertiesDialog, ShowsPathSizeAndArchivesFromTheHighestPriorityDown) {
    DialogWatcher watcher(DialogClose::CloseButton, screenshotHandshake());
    EXPECT_EQ(host->execute("/SET/textures/wall.dds", "properties"), FS_EXEC_OK);
    ASSERT_EQ(watcher.seen().size(), 1u);
    const DialogSeen& seen = watcher.seen()[0];
    EXPECT_EQ(seen.caption, "File Properties");
    EXPECT_TRUE(seen.visible);
    EXPECT_EQ(seen.path, "\\SET\\textures\\wall.dds");
    EXPECT_EQ(seen.size, "30");  // R's copy
    EXPECT_EQ(seen.archives, (Lines{archive("r.db0"), archive("q.db0"), archive("p.db0")}));
    EXPECT_EQ(seen.closeButton, "Close");
    EXPECT_FALSE(seen.ignoredTheClose);
}

TEST_F(PropertiesDialog, EscAndTheCloseBoxCloseItToo) {
    for (DialogClose how : {DialogClose::EscapeKey, DialogClose::CloseBox}) {
        SCOPED_TRACE(static_cast<int>(how));
        DialogWatcher watcher(how);
        EXPECT_EQ(host->execute("/SET/docs/readme.txt", "properties"), FS_EXEC_OK);
        ASSERT_EQ(watcher.seen().size(), 1u);
        EXPECT_EQ(watcher.seen()[0].archives, Lines{archive("p.db0")});
        EXPECT_EQ(watcher.seen()[0].size, "7");
        EXPECT_FALSE(watcher.seen()[0].ignoredTheClose);
    }
}

TEST_F(PropertiesDialog, DirectoriesAndPathsTheSetDoesNotHold) {
    struct Case {
        const char* path;
        const char* size;
        Lines archives;
    };
    const Case cases[] = {
        // A directory no record names: its placeholder in the first archive.
        {"/SET/textures", "0", {archive("p.db0")}},
        // The top directory of an installation under a name of the user's own.
        {"/SET", "0", {archive("p.db0")}},
        // Nothing there: the path alone, no size, no archive.
        {"/SET/textures/missing.dds", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        DialogWatcher watcher;
        EXPECT_EQ(host->execute(c.path, "properties"), FS_EXEC_OK);
        ASSERT_EQ(watcher.seen().size(), 1u);
        EXPECT_EQ(watcher.seen()[0].path, hostPath(c.path));
        EXPECT_EQ(watcher.seen()[0].size, c.size);
        EXPECT_EQ(watcher.seen()[0].archives, c.archives);
    }
    // The same entry's properties as often as asked.
    DialogWatcher watcher;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(host->execute("/SET/textures/wall.dds", "properties"), FS_EXEC_OK);
    EXPECT_EQ(watcher.seen().size(), 3u);
}

}  // namespace
}  // namespace kestran::hosttest
