// Files that change, lie or are not files, through the built plug-in on Linux: none of
// them may block, kill or corrupt the host.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <string>

#include "installations.h"

namespace kestran::hosttest {
namespace {

using namespace std::chrono_literals;

// Runs a call that must not block. When it does, the FIFO it waits on gets a writer,
// which ends the wait, and the test fails instead of hanging.
template <typename Result>
Result withoutBlocking(const fs::path& fifo, const std::function<Result()>& call) {
    auto done = std::async(std::launch::async, call);
    if (done.wait_for(10s) == std::future_status::timeout) {
        ADD_FAILURE() << "blocked on the FIFO " << fifo;
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
    }
    return done.get();
}

class HostileFiles : public ::testing::Test {
protected:
    void SetUp() override { writeArna(arna); }

    void startHost(const std::string& extraLines = "") {
        host = std::make_unique<PluginHost>(temp.path() / "plugin", settingsFor({{"ARNA", "3312", arna}}) + extraLines);
        host->FsInit(1, nullptr, nullptr, nullptr);
    }

    TempFolder temp;
    fs::path arna = temp.path() / "arna";
    fs::path out = temp.path() / "out";
    std::unique_ptr<PluginHost> host;
};

TEST_F(HostileFiles, AFifoAmongTheArchivesFailsTheLoadWithoutBlocking) {
    const fs::path fifo = arna / "stray.db2";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    startHost();
    const auto names =
        withoutBlocking<std::vector<std::string>>(fifo, [&] { return PluginHost::names(host->list("/ARNA")); });
    EXPECT_TRUE(names.empty());
    // Nothing was left holding the installation's load lock: the next listing answers too.
    fs::remove(fifo);
    EXPECT_FALSE(PluginHost::names(host->list("/ARNA")).empty());
}

TEST_F(HostileFiles, AFifoInPlaceOfALoadedArchiveIsAReadError) {
    startHost();
    ASSERT_FALSE(host->list("/ARNA").empty());
    const fs::path archive = arna / "resources.db1";
    fs::remove(archive);
    ASSERT_EQ(::mkfifo(archive.c_str(), 0644), 0);
    fs::create_directories(out);
    const int result =
        withoutBlocking<int>(archive, [&] { return host->getFile("/ARNA/textures/wall.dds", out / "w", 0); });
    EXPECT_EQ(result, FS_FILE_READERROR);
    EXPECT_FALSE(fs::exists(out / "w"));
}

TEST_F(HostileFiles, FifosForTheSettingsAndFsgameLtxReadAsMissing) {
    const fs::path vesk = temp.path() / "vesk";
    fs::create_directories(vesk);
    ASSERT_EQ(::mkfifo((vesk / "fsgame.ltx").c_str(), 0644), 0);
    startHost("VESK = 3967|" + vesk.string() + "\n");
    EXPECT_TRUE(withoutBlocking<std::vector<std::string>>(vesk / "fsgame.ltx", [&] {
                    return PluginHost::names(host->list("/VESK"));
                }).empty());

    // A FIFO for kestran.ini: the plug-in loads with no installation instead of waiting.
    const fs::path folder = temp.path() / "fifo-settings";
    fs::create_directories(folder);
    fs::copy_file(pluginFile(), folder / "kestran.wfx");
    ASSERT_EQ(::mkfifo((folder / "kestran.ini").c_str(), 0644), 0);
    const bool loaded = withoutBlocking<bool>(folder / "kestran.ini", [&] {
        void* library = dlopen((folder / "kestran.wfx").c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) return false;
        auto findFirst = reinterpret_cast<decltype(&::FsFindFirst)>(dlsym(library, "FsFindFirst"));
        WIN32_FIND_DATAA record{};
        char root[] = "/";
        const bool empty = findFirst != nullptr && findFirst(root, &record) == INVALID_HANDLE_VALUE;
        dlclose(library);
        return empty;
    });
    EXPECT_TRUE(loaded);
}

// The archive shrinks after the listing and before the bytes are read (an updater
// replacing it): a read error, and no partial file.
int truncateArchive(int, char*, char*, int percent) {
    if (percent == 0) ::truncate(std::getenv("KESTRAN_TEST_ARCHIVE"), 16);
    return 0;
}

TEST_F(HostileFiles, AnArchiveThatShrinksBeforeTheCopyIsAReadError) {
    startHost();
    ASSERT_FALSE(host->list("/ARNA").empty());
    host->FsInit(1, truncateArchive, nullptr, nullptr);
    const fs::path archive = arna / "resources.db0";
    ::setenv("KESTRAN_TEST_ARCHIVE", archive.c_str(), 1);
    fs::create_directories(out);
    EXPECT_EQ(host->getFile("/ARNA/textures/floor.dds", out / "floor.dds", 0), FS_FILE_READERROR);
    EXPECT_FALSE(fs::exists(out / "floor.dds"));
    EXPECT_EQ(host->getFile("/ARNA/docs/readme.txt", out / "readme.txt", 0), FS_FILE_READERROR);
    EXPECT_FALSE(fs::exists(out / "readme.txt"));
}

// A copy onto a FIFO (or a link to one) with the overwrite flag fails at once: opening
// it to write would wait for a reader, holding the host's copy forever. When it does
// block all the same, a reader drains the FIFO, which ends the wait, and the test fails.
TEST_F(HostileFiles, ACopyOntoAFifoFailsWithoutBlocking) {
    startHost();
    ASSERT_FALSE(host->list("/ARNA").empty());
    fs::create_directories(out);
    const fs::path fifo = out / "wall.dds";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    fs::create_symlink(fifo, out / "link.dds");
    for (const fs::path& target : {fifo, out / "link.dds"}) {
        SCOPED_TRACE(target);
        auto done = std::async(std::launch::async, [&] {
            return host->getFile("/ARNA/textures/wall.dds", target, FS_COPYFLAGS_OVERWRITE);
        });
        if (done.wait_for(10s) == std::future_status::timeout) {
            ADD_FAILURE() << "blocked on the FIFO " << fifo;
            const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
            char sink[4096];
            while (done.wait_for(10ms) == std::future_status::timeout) (void)::read(reader, sink, sizeof sink);
            ::close(reader);
        }
        EXPECT_EQ(done.get(), FS_FILE_WRITEERROR);
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
}

// An overwrite that fails part-way (here the process's file size limit; a full disk
// alike) keeps the user's file as it was, instead of truncating and then removing it.
TEST_F(HostileFiles, AFailedOverwriteKeepsTheOldFile) {
    startHost();
    ASSERT_FALSE(host->list("/ARNA").empty());
    fs::create_directories(out);
    const std::string old(200 * 1024, 'o');
    std::ofstream(out / "floor.dds", std::ios::binary) << old;

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 16 * 1024;  // the packed member unpacks to more than this
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const int result = host->getFile("/ARNA/textures/floor.dds", out / "floor.dds", FS_COPYFLAGS_OVERWRITE);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedSignal);

    EXPECT_EQ(result, FS_FILE_WRITEERROR);
    std::ifstream in(out / "floor.dds", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
    // With room again, the same copy replaces it.
    EXPECT_EQ(host->getFile("/ARNA/textures/floor.dds", out / "floor.dds", FS_COPYFLAGS_OVERWRITE), FS_FILE_OK);
    EXPECT_EQ(fs::file_size(out / "floor.dds"), floorTexture().size());
}

// The user's own target folders are matched as written: only names inside an
// installation are looked up without regard to case.
TEST_F(HostileFiles, ATargetFolderIsNotMatchedWithoutRegardToCase) {
    startHost();
    ASSERT_FALSE(host->list("/ARNA").empty());
    fs::create_directories(out / "docs");
    EXPECT_EQ(host->getFile("/ARNA/docs/readme.txt", out / "Docs" / "readme.txt", 0), FS_FILE_WRITEERROR);
    EXPECT_FALSE(fs::exists(out / "docs" / "readme.txt"));
    EXPECT_EQ(host->getFile("/ARNA/docs/readme.txt", out / "docs" / "readme.txt", 0), FS_FILE_OK);
}

// fsgame.ltx naming one directory 1,024 times multiplies its records: past the
// installation's budget the load fails, and in seconds, not minutes.
TEST_F(HostileFiles, RecordsMultipliedByFsgameLtxFailTheLoad) {
    const fs::path vesk = temp.path() / "vesk";
    kestran::testing::ArchiveBuilder many(2);
    for (int i = 0; i < 5000; ++i) many.storedFile("d" + std::to_string(i % 40) + "\\f" + std::to_string(i), {});
    writeArchive(vesk / "data" / "a.db0", many, kOldTime);
    std::ofstream lines(vesk / "fsgame.ltx");
    for (int i = 0; i < 1024; ++i) lines << "$d" << i << "$=true|false|$fs_root$|data\n";
    lines.close();
    startHost("VESK = 3967|" + vesk.string() + "\n");
    WIN32_FIND_DATAA record{};
    char path[] = "/VESK";
    errno = 0;
    EXPECT_EQ(host->FsFindFirst(path, &record), INVALID_HANDLE_VALUE);
    EXPECT_EQ(errno, static_cast<int>(ERROR_NO_MORE_FILES));
}

}  // namespace
}  // namespace kestran::hosttest
