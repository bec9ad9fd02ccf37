// kestran-db mount over libfuse 3: the mount point checked, the installation loaded
// and numbered, then libfuse's own order (as in its examples): session, signal
// handlers, mount, daemonize, the multi-threaded loop, unmount. The process goes to the
// background only once the mount is in place, so that whoever started the command can
// use the mount point as soon as it returns; requests that arrive before the loop runs
// wait for it in the kernel.
#include "fuse_mount.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <boost/filesystem/operations.hpp>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

#include "command.h"
#include "common/failure.h"
#include "fuse_operations.h"
#include "installation/shown_names.h"
#include "platform/platform.h"
#include "terminal_text.h"

namespace kestran::cli {

namespace {

// Entries left out of the mount are named on standard error, up to this many.
constexpr std::size_t kLeftOutShown = 20;

bool isMountRoot(const std::string& path) {
    struct statx sx {};
    if (::statx(AT_FDCWD, path.c_str(), AT_NO_AUTOMOUNT, STATX_BASIC_STATS, &sx) == 0 &&
        (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0) {
        return (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    }
    // Kernels before 5.8: a mount's root lies on another device than its parent.
    struct stat self {};
    struct stat parent {};
    if (::stat(path.c_str(), &self) != 0 || ::stat((path + "/..").c_str(), &parent) != 0) return false;
    return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
}

// The mount point's absolute path. Throws kestran::Failure when it cannot be mounted on.
std::string checkMountPoint(const std::string& given) {
    const std::string shown = "kestran-db mount: the mount point " + given;
    struct stat st {};
    if (::stat(given.c_str(), &st) != 0) {
        const int error = errno;
        if (error == ENOENT) throw Failure(FailureKind::NotFound, shown + " does not exist");
        if (error == ENOTCONN)
            throw Failure(FailureKind::Invalid, shown +
                                                    " is a FUSE mount whose server has ended; unmount it first "
                                                    "(fusermount3 -u " +
                                                    given + ")");
        throw Failure(FailureKind::CannotOpen, shown + " cannot be used: " + std::strerror(error));
    }
    if (!S_ISDIR(st.st_mode)) throw Failure(FailureKind::Invalid, shown + " is not a directory");
    char real[PATH_MAX];
    if (::realpath(given.c_str(), real) == nullptr)
        throw Failure(FailureKind::CannotOpen, shown + " cannot be used: " + std::strerror(errno));
    if (isMountRoot(real))
        throw Failure(FailureKind::Invalid, shown +
                                                " is a mount point already; unmount it first "
                                                "(fusermount3 -u " +
                                                given + ") or choose another directory");
    return real;
}

// The daemon leaves the working directory for "/", so the installation's paths must
// not be relative to it.
InstallationChoice withAbsoluteRoot(InstallationChoice choice) {
    choice.rootPath = boost::filesystem::absolute(platform::resolvePath(choice.rootPath)).string();
    return choice;
}

void reportLeftOut(const MountTree& tree, const std::string& top) {
    const auto& leftOut = tree.leftOut();
    for (std::size_t i = 0; i < leftOut.size() && i < kLeftOutShown; ++i) {
        std::string path = leftOut[i].path.substr(std::min(leftOut[i].path.size(), top.size()));
        for (char& c : path)
            if (c == '\\') c = '/';
        std::cerr << "kestran-db mount: left out \"" << printable(path)
                  << "\" (and what lies below it): " << printable(leftOut[i].reason) << '\n';
    }
    if (leftOut.size() > kLeftOutShown)
        std::cerr << "kestran-db mount: left out " << leftOut.size() - kLeftOutShown << " more entries\n";
}

// Frees a session, its signal handlers and its arguments on every way out.
class Session {
public:
    Session(const std::vector<std::string>& arguments, MountedInstallation& mounted) {
        for (const std::string& a : arguments) fuse_opt_add_arg(&args_, a.c_str());
        session_ = fuse_session_new(&args_, &mountOperations(), sizeof(fuse_lowlevel_ops), &mounted);
        if (session_ == nullptr) throw UsageError("FUSE does not take the mount options given (see its message above)");
        if (fuse_set_signal_handlers(session_) != 0)
            throw Failure(FailureKind::Invalid, "kestran-db mount: cannot set up the signal handlers");
        handlers_ = true;
    }
    ~Session() {
        if (mounted_) fuse_session_unmount(session_);
        if (handlers_) fuse_remove_signal_handlers(session_);
        if (session_ != nullptr) fuse_session_destroy(session_);
        fuse_opt_free_args(&args_);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void mount(const std::string& mountPoint) {
        if (fuse_session_mount(session_, mountPoint.c_str()) != 0)
            throw Failure(FailureKind::Invalid, "kestran-db mount: the system refused the mount at " + mountPoint);
        mounted_ = true;
    }
    int loop() {
        fuse_loop_config config{};
        config.clone_fd = 0;
        config.max_idle_threads = 10;
        return fuse_session_loop_mt(session_, &config);
    }

private:
    fuse_args args_ = FUSE_ARGS_INIT(0, nullptr);
    fuse_session* session_ = nullptr;
    bool handlers_ = false;
    bool mounted_ = false;
};

// Without -f the command returns once the mount answers, as mount(8) does, and the
// work goes on in a child process of a session of its own. A mount that does not start
// (libfuse refuses an option as the kernel's session begins, say) fails the command
// then: libfuse's reason reaches this standard error, which the child keeps until the
// command has returned, and then points at /dev/null.
//
// Gives the exit status in the parent, and nothing in the child, which goes on serving.
std::optional<int> detachOnceMounted(const std::string& point) {
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0)
        throw Failure(FailureKind::Invalid,
                      std::string("kestran-db mount: cannot go to the background: ") + std::strerror(errno));
    std::cout.flush();
    std::cerr.flush();
    const pid_t child = ::fork();
    if (child < 0)
        throw Failure(FailureKind::Invalid,
                      std::string("kestran-db mount: cannot go to the background: ") + std::strerror(errno));
    if (child == 0) {
        ::close(ready[1]);
        ::setsid();
        // As a daemon does: no directory of the user's stays busy (the installation's
        // paths are absolute, see withAbsoluteRoot).
        [[maybe_unused]] const int left = ::chdir("/");
        // Once the parent has returned (or gone), the standard streams go nowhere.
        std::thread([fd = ready[0]] {
            char done = 0;
            while (::read(fd, &done, 1) < 0 && errno == EINTR) {
            }
            ::close(fd);
            const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
            if (null < 0) return;
            for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) ::dup2(null, stream);
            ::close(null);
        }).detach();
        return std::nullopt;
    }
    ::close(ready[0]);
    // The mount answers once a stat of its root goes through the new session; one that
    // failed to start makes the child end (or the stat fail with ENOTCONN until it does).
    int status = kExitFailure;
    for (int tries = 0; tries < 60 * 50; ++tries) {
        int childStatus = 0;
        if (::waitpid(child, &childStatus, WNOHANG) == child) {
            std::cerr << "kestran-db mount: the mount did not start (the reason is above)\n";
            ::close(ready[1]);
            return kExitFailure;
        }
        struct stat root {};
        if (isMountRoot(point) && ::stat(point.c_str(), &root) == 0) {
            status = kExitOk;
            break;
        }
        ::usleep(20 * 1000);
    }
    if (status != kExitOk) {
        std::cerr << "kestran-db mount: the mount did not answer in a minute; it was stopped\n";
        ::kill(child, SIGTERM);
    } else {
        const char done = 'R';
        (void)::write(ready[1], &done, 1);
    }
    ::close(ready[1]);
    return status;
}

}  // namespace

bool mountAvailable() { return true; }

int serveMount(const InstallationChoice& choice, const MountOptions& options, const std::string& mountPoint) {
    const std::string point = checkMountPoint(mountPoint);
    const LoadedInstallation installation = loadChosenInstallation(withAbsoluteRoot(choice));
    const kestran_db::FileNode* top = installation.db->findNode(installation.top);
    const kestran_db::ShownNames names(options.nameCodec.value_or(NameCodec::byDefault()), kMaxShownName);
    const MountTree tree(*installation.db, top != nullptr ? *top : kestran_db::FileNode::emptyDirectory(), names,
                         options.versions);
    reportLeftOut(tree, installation.top);
    // Every open of a stored member holds its archive open: take as many descriptors as
    // the system lets this process have, not the shell's default soft limit.
    rlimit descriptors{};
    if (::getrlimit(RLIMIT_NOFILE, &descriptors) == 0 && descriptors.rlim_cur < descriptors.rlim_max) {
        descriptors.rlim_cur = descriptors.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &descriptors);
    }
    MemberCache cache(options.cacheBytes);
    MountedInstallation mounted(tree, cache, ::getuid(), ::getgid(), platform::currentTime(), options.foreground);

    if (!options.foreground) {
        if (const std::optional<int> parentStatus = detachOnceMounted(point)) return *parentStatus;
    }
    std::vector<std::string> fuseOptions{"ro", "default_permissions", "fsname=kestran-db", "subtype=kestran-db"};
    fuseOptions.insert(fuseOptions.end(), options.fuseOptions.begin(), options.fuseOptions.end());
    Session session({"kestran-db", "-o", joinFuseOptions(fuseOptions)}, mounted);
    session.mount(point);
    std::cout.flush();
    std::cerr.flush();
    const int status = session.loop();
    // A signal ends the loop as the way to stop; anything else is a failure of the
    // connection to the kernel.
    return status < 0 ? kExitFailure : kExitOk;
}

}  // namespace kestran::cli
