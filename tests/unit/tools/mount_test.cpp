// kestran-db mount, mounted for real: the built tool serves an installation the archive
// writer makes, and the tests look at it as any program would (find, stat, read,
// extended attributes), then unmount it.
//
// Where this machine cannot mount (no /dev/fuse, no fusermount3, or mounting refused)
// every test says SKIPPED with the reason. No test can hang: every mount has a watchdog
// that kills its server and detaches it when a test runs too long, every server dies
// with the test process (and then unmounts), and every command runs with a time limit.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/filesystem.hpp>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/archive_builder.h"
#include "support/file_times.h"
#include "support/temp_folder.h"

namespace kestran::cli {
namespace {

namespace fs = boost::filesystem;
using kestran::testing::ArchiveBuilder;
using kestran::testing::Bytes;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::time_t kTimeA = 1714564800;  // 2024-05-01T12:00:00Z
constexpr std::time_t kTimeB = 1717243200;  // 2024-06-01T12:00:00Z
constexpr std::time_t kTimeC = 1719835200;  // 2024-07-01T12:00:00Z

const std::string kPrivet = "\xCF\xF0\xE8\xE2\xE5\xF2.txt";                              // Привет.txt in CP1251
const std::string kPrivetUtf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.txt";  // Привет.txt
const std::string kHalf = "half\xEF\xBC\x8Fhalf.txt";                                    // half/half.txt shown

// How long a mount may take to appear or go, a command to finish, and a whole test.
constexpr auto kMountWait = 30s;
constexpr auto kCommandWait = 60s;
constexpr auto kWatchdog = 120s;

std::string readText(const fs::path& path) {
    std::ifstream in(path.string(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes pattern(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + (i / 32) % 8 + (i >> 16));
    return bytes;
}

Bytes noise(std::size_t size, std::uint32_t seed) {
    Bytes bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
    return bytes;
}

bool isMounted(const fs::path& point) {
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint;
        fields >> id >> parent >> device >> root >> mountPoint;
        if (mountPoint == point.string()) return true;
    }
    return false;
}

template <typename Predicate>
bool waitFor(Predicate done, Clock::duration limit) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

std::optional<std::string> onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = dir + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
}

// A program started with exactly these arguments (no shell), its output in files. With
// dieWithParent it gets SIGTERM when the test process ends, whatever ends it.
class Child {
public:
    Child(const std::vector<std::string>& args, const fs::path& out, const fs::path& err, bool dieWithParent) {
        std::vector<std::string> texts = args;
        std::vector<char*> argv;
        for (std::string& t : texts) argv.push_back(t.data());
        argv.push_back(nullptr);
        const std::string outPath = out.string();
        const std::string errPath = err.string();
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ == 0) {
            if (dieWithParent && (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent)) ::_exit(126);
            const int o = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int e = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (o < 0 || e < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0) ::_exit(126);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~Child() { kill(SIGKILL); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return pid_ > 0; }
    bool running() {
        poll();
        return pid_ > 0;
    }
    // The exit status (-1 when a signal ended it), or nothing when it is still running.
    std::optional<int> wait(Clock::duration limit) {
        waitFor([this] { return !running(); }, limit);
        return pid_ > 0 ? std::nullopt : std::optional<int>(status_);
    }
    void kill(int signal) {
        if (!running()) return;
        ::kill(pid_, signal);
        if (signal == SIGKILL) {
            int ignored = 0;
            ::waitpid(pid_, &ignored, 0);
            pid_ = -1;
        }
    }

private:
    void poll() {
        if (pid_ <= 0) return;
        int wstatus = 0;
        if (::waitpid(pid_, &wstatus, WNOHANG) == pid_) {
            status_ = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
            pid_ = -1;
        }
    }

    pid_t pid_ = -1;
    int status_ = -1;
};

struct CommandRun {
    int status = -1;  // -1: ended by a signal, or killed at the time limit
    std::string out;
    std::string err;
};

CommandRun run(const std::vector<std::string>& args, const fs::path& scratch) {
    static std::atomic<int> counter{0};
    const std::string id = std::to_string(counter++);
    const fs::path out = scratch / ("run-" + id + ".out");
    const fs::path err = scratch / ("run-" + id + ".err");
    CommandRun result;
    {
        Child child(args, out, err, true);
        const std::optional<int> status = child.wait(kCommandWait);
        result.status = status.value_or(-1);
    }
    result.out = readText(out);
    result.err = readText(err);
    return result;
}

CommandRun unmountCommand(const fs::path& point, const fs::path& scratch, bool lazy = false) {
    std::vector<std::string> args{*onPath("fusermount3"), "-u"};
    if (lazy) args.push_back("-z");
    args.push_back(point.string());
    return run(args, scratch);
}

// One kestran-db mount -f, started and waited for; unmounted when it goes.
class Mount {
public:
    Mount(const fs::path& point, const std::vector<std::string>& options, const fs::path& scratch)
        : point_(point), scratch_(scratch) {
        std::vector<std::string> args{KESTRAN_DB_EXECUTABLE, "mount", "-f", point.string()};
        args.insert(args.end(), options.begin(), options.end());
        const std::string id = std::to_string(counter_++);
        err_ = scratch / ("mount-" + id + ".err");
        server_ = std::make_unique<Child>(args, scratch / ("mount-" + id + ".out"), err_, true);
        ready_ = waitFor([this] { return isMounted(point_) || !server_->running(); }, kMountWait) && isMounted(point_);
        watchdog_ = std::thread([this] { watch(); });
    }
    ~Mount() {
        // A server that ends badly (a sanitizer's report, say) fails the test that ran it.
        if (server_->running() && isMounted(point_)) {
            const std::optional<int> status = unmount();
            if (status != 0) ADD_FAILURE() << "the server at " << point_ << " did not end cleanly: " << errors();
        }
        server_->kill(SIGKILL);
        if (isMounted(point_)) unmountCommand(point_, scratch_, true);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        wake_.notify_all();
        watchdog_.join();
    }
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;

    bool ready() const { return ready_; }
    std::string errors() const { return readText(err_); }

    // fusermount3 -u, then the server's exit status.
    std::optional<int> unmount() {
        unmountCommand(point_, scratch_);
        return server_->wait(kMountWait);
    }
    std::optional<int> stop(int signal) {
        server_->kill(signal);
        return server_->wait(kMountWait);
    }

private:
    // A test that runs far too long has a server that stopped answering: killing it
    // makes every request still waiting fail, so the test fails instead of hanging.
    void watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (wake_.wait_for(lock, kWatchdog, [this] { return finished_; })) return;
        ADD_FAILURE() << "the mount at " << point_ << " stopped answering; its server was killed";
        server_->kill(SIGKILL);
        unmountCommand(point_, scratch_, true);
    }

    static inline std::atomic<int> counter_{0};
    fs::path point_;
    fs::path scratch_;
    fs::path err_;
    std::unique_ptr<Child> server_;
    bool ready_ = false;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool finished_ = false;
    std::thread watchdog_;
};

struct ReadResult {
    int error = 0;  // the errno of the open or read that failed
    std::string bytes;
};

ReadResult readAll(const fs::path& path) {
    ReadResult result;
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return {errno, {}};
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            result.error = errno;
            break;
        }
        if (got == 0) break;
        result.bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return result;
}

std::vector<std::string> listNames(const fs::path& directory) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    return names;
}

std::optional<std::string> attribute(const fs::path& path, const char* name) {
    char value[4096];
    const ssize_t size = ::getxattr(path.c_str(), name, value, sizeof value);
    if (size < 0) return std::nullopt;
    return std::string(value, static_cast<std::size_t>(size));
}

// Why this machine cannot mount, or nothing when it can: asked once, by mounting an
// installation without archives.
std::optional<std::string> whyMountingIsNotPossible() {
    static const std::optional<std::string> why = []() -> std::optional<std::string> {
        if (::access("/dev/fuse", F_OK) != 0) return std::string("/dev/fuse is absent");
        const int fd = ::open("/dev/fuse", O_RDWR);
        if (fd < 0) return "/dev/fuse cannot be opened: " + std::string(std::strerror(errno));
        ::close(fd);
        if (!onPath("fusermount3")) return std::string("fusermount3 is not installed");
        const kestran::testing::TempFolder folder("kestran-mount-probe");
        const fs::path root = fs::path(folder.path().string()) / "root";
        const fs::path point = fs::path(folder.path().string()) / "mnt";
        fs::create_directories(root);
        fs::create_directories(point);
        const Mount probe(point, {"--root", root.string(), "--version-code", "0"}, folder.path().string());
        if (probe.ready()) return std::nullopt;
        const std::string errors = probe.errors();
        for (const char* refusal :
             {"Operation not permitted", "Permission denied", "fuse: device not found", "fusermount3: mount failed"}) {
            if (errors.find(refusal) != std::string::npos) return "mounting is not permitted here: " + errors;
        }
        return std::nullopt;  // some other failure: the tests will show it
    }();
    return why;
}

// The installation: a.db0, then b.db1 overriding a.txt and textures\wall.dds, then
// tail.db2, whose files the tests truncate or remove. Archives lie in the root
// (VersionCode 0).
class MountTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::optional<std::string> why = whyMountingIsNotPossible()) GTEST_SKIP() << "SKIPPED: " << *why;
        root = scratch / "game";
        point = scratch / "mnt";
        fs::create_directories(root);
        fs::create_directories(point);
        ArchiveBuilder a(0);
        a.storedFile("a.txt", bytesOf("alpha"))
            .compressedFile("textures\\wall.dds", pattern(3000, 0x20))
            .storedFile("config\\system.ltx", bytesOf("width=1024\r\n"))
            .compressedFile("big\\packed.bin", packed)
            .storedFile("big\\stored.bin", stored)
            .storedFile(kPrivet, bytesOf("privet"))
            .storedFile("half/half.txt", bytesOf("slash"))
            // A packed member whose stored bytes (the archive's first 64) do not unpack.
            .record({"broken.bin", 5000, 64, 0, 0});
        writeArchive(a, "a.db0", kTimeA);
        ArchiveBuilder b(0);
        b.storedFile("a.txt", bytesOf("alpha, newer"))
            .storedFile("textures\\wall.dds", wall)
            .directory("levels")
            .compressedFile("levels\\l01\\level.dat", level);
        writeArchive(b, "b.db1", kTimeB);
        ArchiveBuilder c(0);
        c.storedFile("tail\\stored.bin", tailStored).compressedFile("tail\\packed.bin", tailPacked);
        writeArchive(c, "tail.db2", kTimeC);
    }

    void writeArchive(const ArchiveBuilder& builder, const std::string& name, std::time_t time) {
        builder.write((root / name).string());
        kestran::testing::setLastWriteTime((root / name).string(), time);
    }

    std::vector<std::string> selection() const { return {"--root", root.string(), "--version-code", "0"}; }

    std::unique_ptr<Mount> mount(std::vector<std::string> options = {}) {
        const std::vector<std::string> chosen = selection();
        options.insert(options.end(), chosen.begin(), chosen.end());
        auto m = std::make_unique<Mount>(point, options, scratch);
        EXPECT_TRUE(m->ready()) << m->errors();
        return m;
    }

    CommandRun tool(std::vector<std::string> args) const {
        args.insert(args.begin(), KESTRAN_DB_EXECUTABLE);
        return run(args, scratch);
    }

    const Bytes packed = pattern(3u << 20, 0x10);
    const Bytes stored = noise(2u << 20, 5);
    const Bytes wall = pattern(4000, 0x40);
    const Bytes level = pattern(2500, 0x60);
    const Bytes tailStored = noise(300000, 9);
    const Bytes tailPacked = pattern(300000, 0x30);
    kestran::testing::TempFolder folder{"kestran-mount-test"};
    fs::path scratch{folder.path().string()};
    fs::path root;
    fs::path point;
};

TEST_F(MountTest, FindAndStatShowTheMergedTreeAndEveryFileHasTheBytesExtractGives) {
    const auto m = mount();
    ASSERT_TRUE(m->ready());
    const std::string uid = std::to_string(::getuid());
    auto line = [&](const char* type, const std::string& mode, int links, std::size_t size, std::time_t time,
                    const std::string& path) {
        const std::string t = std::to_string(time);
        return std::string(type) + " " + mode + " " + std::to_string(links) + " " + std::to_string(size) + " " + t +
               " " + t + " " + t + " " + uid + " " + path + "\n";
    };
    // In the tree's order; directories no record names have the first archive's time.
    const std::string expected =
        line("d", "555", 7, 0, kTimeA, "") + line("f", "444", 1, 12, kTimeB, "a.txt") +
        line("d", "555", 2, 0, kTimeA, "big") + line("f", "444", 1, packed.size(), kTimeA, "big/packed.bin") +
        line("f", "444", 1, stored.size(), kTimeA, "big/stored.bin") + line("f", "444", 1, 5000, kTimeA, "broken.bin") +
        line("d", "555", 2, 0, kTimeA, "config") + line("f", "444", 1, 12, kTimeA, "config/system.ltx") +
        line("f", "444", 1, 5, kTimeA, kHalf) + line("d", "555", 3, 0, kTimeB, "levels") +
        line("d", "555", 2, 0, kTimeA, "levels/l01") +
        line("f", "444", 1, level.size(), kTimeB, "levels/l01/level.dat") + line("d", "555", 2, 0, kTimeA, "tail") +
        line("f", "444", 1, tailPacked.size(), kTimeC, "tail/packed.bin") +
        line("f", "444", 1, tailStored.size(), kTimeC, "tail/stored.bin") + line("d", "555", 2, 0, kTimeA, "textures") +
        line("f", "444", 1, wall.size(), kTimeB, "textures/wall.dds") + line("f", "444", 1, 6, kTimeA, kPrivetUtf8);
    const CommandRun find =
        run({*onPath("find"), point.string(), "-printf", "%y %m %n %s %Ts %As %Cs %U %P\\n"}, scratch);
    EXPECT_EQ(find.status, 0) << find.err;
    EXPECT_EQ(find.out, expected);

    // Inode numbers: one each, the top's is 1, and the same at every look.
    const CommandRun first = run({*onPath("find"), point.string(), "-printf", "%i %P\\n"}, scratch);
    const CommandRun second = run({*onPath("find"), point.string(), "-printf", "%i %P\\n"}, scratch);
    EXPECT_EQ(first.out, second.out);
    std::set<std::string> numbers;
    std::istringstream lines(first.out);
    for (std::string number, rest; lines >> number && std::getline(lines, rest);) numbers.insert(number);
    EXPECT_EQ(numbers.size(), 18u);
    struct stat top {};
    ASSERT_EQ(::stat(point.c_str(), &top), 0);
    EXPECT_EQ(top.st_ino, 1u);

    // Every file's bytes against extract's copy (which refuses the name with "/" and
    // fails on the damaged member; both are checked on their own).
    const fs::path out = scratch / "extracted";
    const CommandRun extract =
        tool({"extract", "/", "-o", out.string(), "--root", root.string(), "--version-code", "0"});
    EXPECT_EQ(extract.status, 1) << extract.err;
    std::size_t compared = 0;
    for (fs::recursive_directory_iterator it(out), end; it != end; ++it) {
        if (!fs::is_regular_file(it->status())) continue;
        std::string relative = it->path().string().substr(out.string().size() + 1);
        if (relative == kPrivet) relative = kPrivetUtf8;
        const ReadResult got = readAll(point / relative);
        EXPECT_EQ(got.error, 0) << relative;
        EXPECT_TRUE(got.bytes == readText(it->path())) << relative;
        ++compared;
    }
    EXPECT_EQ(compared, 9u);
    EXPECT_EQ(readAll(point / kHalf).bytes, "slash");
}

TEST_F(MountTest, EightThreadsReadAtRandomOffsetsAndGetTheRightBytes) {
    const auto m = mount({"-o", "cache_size=1"});  // smaller than big/packed.bin
    ASSERT_TRUE(m->ready());
    struct File {
        const char* path;
        const Bytes* bytes;
        int sharedFd;
    };
    std::vector<File> files{{"big/packed.bin", &packed, -1},
                            {"big/stored.bin", &stored, -1},
                            {"textures/wall.dds", &wall, -1},
                            {"tail/packed.bin", &tailPacked, -1}};
    for (File& f : files) {
        f.sharedFd = ::open((point / f.path).c_str(), O_RDONLY);
        ASSERT_GE(f.sharedFd, 0) << f.path;
    }
    std::atomic<int> wrong{0};
    std::atomic<int> reads{0};
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 random(t);
            std::vector<int> own;
            for (const File& f : files) own.push_back(::open((point / f.path).c_str(), O_RDONLY));
            std::vector<std::uint8_t> buffer(300000);
            for (int i = 0; i < 200; ++i) {
                const std::size_t which = random() % files.size();
                const File& f = files[which];
                const std::size_t size = f.bytes->size();
                const std::size_t offset = random() % (size + 1000);
                const std::size_t length = 1 + random() % buffer.size();
                const int fd = (i + t) % 2 == 0 ? f.sharedFd : own[which];
                const ssize_t got = ::pread(fd, buffer.data(), length, static_cast<off_t>(offset));
                const std::size_t expected = offset >= size ? 0 : std::min(length, size - offset);
                ++reads;
                if (got < 0 || static_cast<std::size_t>(got) != expected ||
                    !std::equal(buffer.begin(), buffer.begin() + got, f.bytes->begin() + std::min(offset, size))) {
                    ++wrong;
                }
            }
            for (const int fd : own) ::close(fd);
        });
    }
    for (auto& thread : threads) thread.join();
    for (const File& f : files) ::close(f.sharedFd);
    EXPECT_EQ(reads, 1600);
    EXPECT_EQ(wrong, 0);
}

TEST_F(MountTest, ExtendedAttributesNameTheWinningArchiveAndEveryHolder) {
    const auto m = mount();
    ASSERT_TRUE(m->ready());
    const std::string a = (root / "a.db0").string();
    const std::string b = (root / "b.db1").string();
    const struct {
        const char* path;
        std::string archive;
        std::string archives;
    } cases[] = {
        {"a.txt", b, b + "\n" + a},
        {"textures/wall.dds", b, b + "\n" + a},
        {"config/system.ltx", a, a},
        {"levels", b, b},
        {"tail/stored.bin", (root / "tail.db2").string(), (root / "tail.db2").string()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(attribute(point / c.path, "user.kestran.archive"), c.archive) << c.path;
        EXPECT_EQ(attribute(point / c.path, "user.kestran.archives"), c.archives) << c.path;
        char names[256];
        const ssize_t size = ::listxattr((point / c.path).c_str(), names, sizeof names);
        EXPECT_EQ(std::string(names, size > 0 ? static_cast<std::size_t>(size) : 0),
                  std::string("user.kestran.archive\0user.kestran.archives\0", 43))
            << c.path;
    }
    EXPECT_FALSE(attribute(point / "a.txt", "user.other"));
    EXPECT_EQ(errno, ENODATA);
    char small[4];
    EXPECT_EQ(::getxattr((point / "a.txt").c_str(), "user.kestran.archive", small, sizeof small), -1);
    EXPECT_EQ(errno, ERANGE);
    EXPECT_EQ(::getxattr((point / "a.txt").c_str(), "user.kestran.archive", nullptr, 0),
              static_cast<ssize_t>(b.size()));
}

TEST_F(MountTest, VersionsShowEveryCopyFromTheLowestPriorityUpWithItsOwnTime) {
    {
        const auto plain = mount();
        ASSERT_TRUE(plain->ready());
        EXPECT_EQ(readAll(point / "a.txt.versions/1").error, ENOENT);
    }
    const auto m = mount({"-o", "versions"});
    ASSERT_TRUE(m->ready());
    const std::vector<std::string> top = listNames(point);
    EXPECT_EQ(std::count_if(top.begin(), top.end(),
                            [](const std::string& n) { return n.find(".versions") != std::string::npos; }),
              0);
    EXPECT_EQ(listNames(point / "a.txt.versions"), (std::vector<std::string>{"1", "2"}));
    struct stat st {};
    ASSERT_EQ(::stat((point / "textures/wall.dds.versions").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0555u);
    const struct {
        const char* path;
        std::string bytes;
        std::time_t time;
    } cases[] = {
        {"a.txt.versions/1", "alpha", kTimeA},
        {"a.txt.versions/2", "alpha, newer", kTimeB},
        {"textures/wall.dds.versions/1", text(pattern(3000, 0x20)), kTimeA},
        {"textures/wall.dds.versions/2", text(wall), kTimeB},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(::stat((point / c.path).c_str(), &st), 0) << c.path;
        EXPECT_EQ(st.st_mtime, c.time) << c.path;
        EXPECT_EQ(static_cast<std::size_t>(st.st_size), c.bytes.size()) << c.path;
        EXPECT_TRUE(readAll(point / c.path).bytes == c.bytes) << c.path;
    }
    EXPECT_EQ(attribute(point / "a.txt.versions/1", "user.kestran.archive"), (root / "a.db0").string());
    EXPECT_EQ(readAll(point / "a.txt.versions/3").error, ENOENT);
    EXPECT_EQ(readAll(point / "config/system.ltx.versions/1").error, ENOENT);  // one copy only
}

TEST_F(MountTest, ADamagedMemberFailsWithEioAndEverythingElseIsServedOn) {
    const CommandRun extract = tool(
        {"extract", "broken.bin", "-o", (scratch / "out").string(), "--root", root.string(), "--version-code", "0"});
    ASSERT_EQ(extract.status, 1) << "the member is meant to be damaged";
    const auto m = mount();
    ASSERT_TRUE(m->ready());
    for (int attempt = 0; attempt < 2; ++attempt) EXPECT_EQ(readAll(point / "broken.bin").error, EIO);
    EXPECT_EQ(readAll(point / "a.txt").bytes, "alpha, newer");
    EXPECT_TRUE(readAll(point / "big/packed.bin").bytes == text(packed));
    EXPECT_NE(m->errors().find("broken.bin"), std::string::npos) << m->errors();
}

TEST_F(MountTest, AnArchiveThatShrinksOrGoesGivesEioAndNoCrash) {
    for (const bool truncate : {true, false}) {
        SCOPED_TRACE(truncate ? "truncated" : "removed");
        SetUp();  // the archive afresh
        const auto m = mount();
        ASSERT_TRUE(m->ready());
        if (truncate) {
            fs::resize_file(root / "tail.db2", 4096);
        } else {
            fs::remove(root / "tail.db2");
        }
        EXPECT_EQ(readAll(point / "tail/stored.bin").error, EIO);
        EXPECT_EQ(readAll(point / "tail/packed.bin").error, EIO);
        EXPECT_EQ(readAll(point / "a.txt").bytes, "alpha, newer");
        EXPECT_EQ(m->unmount(), 0);
    }
}

// An archive rebuilt while mounted (in place, another order of the same members) holds
// other bytes at the offsets of the load: reads fail with EIO and the log says why,
// never another member's bytes.
TEST_F(MountTest, AnArchiveRebuiltSinceTheMountGivesEioAndTheReasonInTheLog) {
    const auto m = mount({"-o", "cache_size=0"});
    ASSERT_TRUE(m->ready());
    ArchiveBuilder rebuilt(0);
    rebuilt.compressedFile("tail\\packed.bin", tailPacked).storedFile("tail\\stored.bin", tailStored);
    writeArchive(rebuilt, "tail.db2", kTimeC + 60);
    EXPECT_EQ(readAll(point / "tail/stored.bin").error, EIO);
    EXPECT_EQ(readAll(point / "tail/packed.bin").error, EIO);
    EXPECT_EQ(readAll(point / "a.txt").bytes, "alpha, newer");
    EXPECT_NE(m->errors().find("tail.db2 changed since it was loaded"), std::string::npos) << m->errors();
    EXPECT_EQ(m->unmount(), 0);
}

TEST_F(MountTest, UnmountingAndSignalsStopTheServerCleanly) {
    const struct {
        const char* how;
        int signal;  // 0: fusermount3 -u
    } cases[] = {{"fusermount3 -u", 0}, {"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}};
    for (const auto& c : cases) {
        Mount m(point, selection(), scratch);
        ASSERT_TRUE(m.ready()) << c.how << ": " << m.errors();
        EXPECT_EQ(readAll(point / "a.txt").bytes, "alpha, newer");
        EXPECT_EQ(c.signal == 0 ? m.unmount() : m.stop(c.signal), 0) << c.how << ": " << m.errors();
        EXPECT_FALSE(isMounted(point)) << c.how;
        EXPECT_TRUE(listNames(point).empty()) << c.how;  // the plain directory again
    }
}

TEST_F(MountTest, InTheBackgroundTheMountIsReadyWhenTheCommandReturns) {
    std::vector<std::string> args{"mount", point.string()};
    const std::vector<std::string> chosen = selection();
    args.insert(args.end(), chosen.begin(), chosen.end());
    // The server is no child of this process: should the test stop early, this takes
    // its mount away.
    struct Detach {
        const fs::path& point;
        const fs::path& scratch;
        ~Detach() {
            if (isMounted(point)) unmountCommand(point, scratch, true);
        }
    } detach{point, scratch};
    const CommandRun started = tool(args);
    ASSERT_EQ(started.status, 0) << started.err;
    EXPECT_TRUE(isMounted(point));
    EXPECT_EQ(readAll(point / "a.txt").bytes, "alpha, newer");
    EXPECT_EQ(unmountCommand(point, scratch).status, 0);
    EXPECT_TRUE(waitFor([&] { return !isMounted(point); }, kMountWait));

    // A session that fails as it begins (libfuse refuses max_read=1 then) fails the
    // command with libfuse's reason, instead of exit status 0 and no mount.
    std::vector<std::string> failing{"mount", "-o", "max_read=1", point.string()};
    failing.insert(failing.end(), chosen.begin(), chosen.end());
    const CommandRun refused = tool(failing);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("maximum read size"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("kestran-db mount: the mount did not start"), std::string::npos) << refused.err;
    EXPECT_TRUE(waitFor([&] { return !isMounted(point); }, kMountWait));
}

TEST_F(MountTest, AMountPointThatCannotBeUsedIsRefusedWithAClearMessage) {
    const auto m = mount();
    ASSERT_TRUE(m->ready());
    kestran::testing::writeFile((scratch / "plain-file").string(), bytesOf("x"));
    const struct {
        fs::path point;
        const char* message;
    } cases[] = {
        {scratch / "missing", "does not exist"},
        {scratch / "plain-file", "is not a directory"},
        {point, "is a mount point already"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"mount", "-f", c.point.string()};
        const std::vector<std::string> chosen = selection();
        args.insert(args.end(), chosen.begin(), chosen.end());
        const CommandRun refused = tool(args);
        EXPECT_EQ(refused.status, 1) << c.point;
        EXPECT_NE(refused.err.find(c.message), std::string::npos) << refused.err;
    }
    EXPECT_EQ(readAll(point / "a.txt").bytes, "alpha, newer");  // the first mount is untouched

    // A mount whose server was killed stays behind, not connected, until unmounted.
    const fs::path stalePoint = scratch / "stale";
    fs::create_directories(stalePoint);
    Mount stale(stalePoint, selection(), scratch);
    ASSERT_TRUE(stale.ready()) << stale.errors();
    stale.stop(SIGKILL);
    std::vector<std::string> args{"mount", "-f", stalePoint.string()};
    const std::vector<std::string> chosen = selection();
    args.insert(args.end(), chosen.begin(), chosen.end());
    const CommandRun refused = tool(args);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("whose server has ended"), std::string::npos) << refused.err;
}

TEST_F(MountTest, NamesAreShownInTheConfiguredEncoding) {
    const fs::path ini = scratch / "kestran.ini";
    std::ofstream(ini.string()) << "[main]\nuse_registry = false\nname_encoding = none\n[installations]\nGAME = 3312|"
                                << root.string() << "\n";
    const std::vector<std::string> byConfig{"--config", ini.string(), "--installation", "GAME"};
    const struct {
        std::vector<std::string> options;
        bool byConfig;
        std::string shown;
    } cases[] = {
        {{}, false, kPrivetUtf8},  // CP1251 unless told otherwise
        {{"-o", "name_encoding=none"}, false, kPrivet},
        {{}, true, kPrivet},  // the settings file's main.name_encoding
        {{"-o", "name_encoding=cp1251"}, true, kPrivetUtf8},
    };
    for (const auto& c : cases) {
        std::vector<std::string> options = c.options;
        const std::vector<std::string> chosen = c.byConfig ? byConfig : selection();
        options.insert(options.end(), chosen.begin(), chosen.end());
        Mount m(point, options, scratch);
        ASSERT_TRUE(m.ready()) << m.errors();
        const std::vector<std::string> names = listNames(point);
        EXPECT_EQ(names.back(), c.shown);
        EXPECT_EQ(names[4], kHalf);
        EXPECT_EQ(readAll(point / c.shown).bytes, "privet");
        EXPECT_EQ(m.unmount(), 0);
    }
}

TEST_F(MountTest, StatfsIsAnsweredAndNothingCanBeWritten) {
    const auto m = mount();
    ASSERT_TRUE(m->ready());
    struct statvfs st {};
    ASSERT_EQ(::statvfs(point.c_str(), &st), 0);
    EXPECT_EQ(st.f_files, 18u);
    EXPECT_EQ(st.f_namemax, 255u);
    EXPECT_NE(st.f_flag & ST_RDONLY, 0u);
    EXPECT_GE(st.f_blocks * st.f_frsize, packed.size() + stored.size());
    EXPECT_EQ(::open((point / "a.txt").c_str(), O_WRONLY), -1);
    EXPECT_EQ(errno, EROFS);
    EXPECT_EQ(::mkdir((point / "new").c_str(), 0755), -1);
    EXPECT_EQ(errno, EROFS);
    EXPECT_EQ(::unlink((point / "a.txt").c_str()), -1);
    EXPECT_EQ(errno, EROFS);
}

}  // namespace
}  // namespace kestran::cli
