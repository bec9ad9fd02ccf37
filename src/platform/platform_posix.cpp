// POSIX side of the platform layer. Paths arrive in the product's Windows habit
// (backslash separators, case-insensitive names) and are resolved against the real,
// case-sensitive file system before use.
#include "platform/platform.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include <boost/filesystem/path.hpp>

#include "common/ascii.h"
#include "common/failure.h"

// A 32-bit build must have 64-bit file offsets and inode numbers (-D_FILE_OFFSET_BITS=64):
// without them stat and open fail on files of 2 GiB or more, and readdir breaks off
// on file systems with 64-bit inode numbers or directory offsets.
static_assert(sizeof(off_t) >= 8 && sizeof(ino_t) >= 8, "build with -D_FILE_OFFSET_BITS=64");

namespace kestran::platform {

namespace {

constexpr std::uint32_t kAttributeDirectory = 0x10;  // FILE_ATTRIBUTE_DIRECTORY
constexpr std::uint32_t kAttributeNormal = 0x80;     // FILE_ATTRIBUTE_NORMAL

// "*.db*" matches every name that holds ".db" in any case.
constexpr const char* kArchiveNameMark = ".db";

// Reads and writes are issued in pieces no larger than this; the system may not take more at once.
constexpr std::size_t kMaxIoPiece = std::size_t{1} << 30;

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

bool containsIgnoringCase(const std::string& text, const std::string& part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end(),
                       [](char x, char y) { return asciiLower(x) == asciiLower(y); }) != text.end();
}

// dir + "/" + name, without doubling a separator the directory already ends in.
std::string joinPath(const std::string& directory, const std::string& name) {
    if (directory.empty()) return name;
    return directory.back() == '/' ? directory + name : directory + "/" + name;
}

bool existsAsWritten(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

// The names in a directory ("." and ".." left out), in the order the system lists
// them; none when the directory is not there (or is no directory). Any other failure
// to open or read it to its end throws, naming the directory and the system's reason:
// a listing cut short would pass for a complete one, and one archive missing from it
// silently changes which copy of a file wins. (readdir says "no more" and "failed"
// both with a null entry; only errno tells them apart.)
std::vector<std::string> namesIn(const std::string& directory) {
    std::vector<std::string> names;
    const std::string shown = directory.empty() ? "." : directory;
    DIR* dir = ::opendir(shown.c_str());
    if (dir == nullptr) {
        if (errno == ENOENT || errno == ENOTDIR) return names;
        throw Failure(FailureKind::Unreadable, "cannot list the directory " + shown + ": " + std::strerror(errno));
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, ::closedir);
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) break;
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) names.emplace_back(name);
    }
    if (errno != 0)
        throw Failure(FailureKind::Unreadable, "cannot list the directory " + shown + ": " + std::strerror(errno));
    return names;
}

// The entry of a directory that matches a name without regard to case; of several,
// the first in byte order, so the answer doesn't depend on the listing order.
bool findIgnoringCase(const std::string& directory, const std::string& name, std::string& match) {
    bool found = false;
    for (const std::string& candidate : namesIn(directory)) {
        if (equalsIgnoringCase(candidate, name) && (!found || candidate < match)) {
            match = candidate;
            found = true;
        }
    }
    return found;
}

FileTime fileTimeOf(const timespec& time) { return fromUnixTime(time.tv_sec, time.tv_nsec); }

timespec timespecOf(FileTime time) {
    const std::uint64_t ticks = toTicks(time);
    std::int64_t seconds = 0;
    std::int64_t remainder = 0;  // ticks after `seconds`, 0 to kTicksPerSecond - 1
    if (ticks >= kUnixEpochTicks) {
        seconds = static_cast<std::int64_t>((ticks - kUnixEpochTicks) / kTicksPerSecond);
        remainder = static_cast<std::int64_t>((ticks - kUnixEpochTicks) % kTicksPerSecond);
    } else {
        const std::uint64_t before = kUnixEpochTicks - ticks;
        seconds = -static_cast<std::int64_t>(before / kTicksPerSecond);
        remainder = static_cast<std::int64_t>(before % kTicksPerSecond);
        if (remainder != 0) {
            seconds -= 1;
            remainder = static_cast<std::int64_t>(kTicksPerSecond) - remainder;
        }
    }
    timespec result{};
    constexpr auto kMaxTime = std::numeric_limits<time_t>::max();
    constexpr auto kMinTime = std::numeric_limits<time_t>::min();
    result.tv_sec = seconds > kMaxTime ? kMaxTime : seconds < kMinTime ? kMinTime : static_cast<time_t>(seconds);
    result.tv_nsec = static_cast<long>(remainder * 100);
    return result;
}

// Closes its descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    // Closes now and tells whether the system reported success.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    std::size_t written = 0;
    while (written < size) {
        const ssize_t result = ::write(fd, data + written, std::min(size - written, kMaxIoPiece));
        if (result < 0 && errno == EINTR) continue;
        if (result <= 0) return false;
        written += static_cast<std::size_t>(result);
    }
    return true;
}

// Opens a regular file for reading without waiting on it: O_NONBLOCK keeps the open
// of a FIFO from blocking until a writer comes, and the type is checked before any
// read. Regular files ignore O_NONBLOCK.
int openRegularFile(const std::string& path) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0 && (errno == EMFILE || errno == ENFILE))
        throw Failure(FailureKind::Unreadable, kOutOfDescriptors);
    if (file.get() < 0) throw Failure(FailureKind::CannotOpen, kCantOpenFile);
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) throw Failure(FailureKind::Unreadable, kCantReadFileSize);
    if (!S_ISREG(status.st_mode)) throw Failure(FailureKind::Unreadable, kNotARegularFile);
    return file.release();
}

std::uint64_t sizeOf(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) throw Failure(FailureKind::Unreadable, kCantReadFileSize);
    return status.st_size < 0 ? 0 : static_cast<std::uint64_t>(status.st_size);
}

// pread until length bytes are in or the file ends; the count read.
std::size_t readFully(int fd, std::uint64_t offset, std::uint8_t* into, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const std::uint64_t at = offset + done;
        if (at > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) break;
        const ssize_t got = ::pread(fd, into + done, std::min(length - done, kMaxIoPiece), static_cast<off_t>(at));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw Failure(FailureKind::Unreadable, kCantReadFile);
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

// An address that lies in this module whatever other modules define: internal linkage
// keeps it from being interposed.
void moduleAnchor() {}

}  // namespace

std::vector<FoundEntry> findArchiveCandidates(const std::string& directory) {
    std::vector<FoundEntry> found;
    const std::string realDirectory = resolvePath(directory);
    for (const std::string& name : namesIn(realDirectory)) {
        if (!containsIgnoringCase(name, kArchiveNameMark)) continue;
        FoundEntry item;
        item.name = name;
        item.openPath = joinPath(realDirectory, name);
        struct stat status {};
        if (::stat(item.openPath.c_str(), &status) == 0 || ::lstat(item.openPath.c_str(), &status) == 0) {
            const bool isDirectory = S_ISDIR(status.st_mode);
            item.attributes = isDirectory ? kAttributeDirectory : kAttributeNormal;
            // POSIX keeps no creation time; the last-write time stands in for it.
            item.creationTime = fileTimeOf(status.st_mtim);
            item.lastAccessTime = fileTimeOf(status.st_atim);
            item.lastWriteTime = fileTimeOf(status.st_mtim);
            item.size = isDirectory || status.st_size < 0 ? 0 : static_cast<std::uint64_t>(status.st_size);
        } else {
            item.attributes = kAttributeNormal;
        }
        found.push_back(std::move(item));
    }
    return found;
}

std::string resolvePath(const std::string& path) {
    std::string text = path;
    std::replace(text.begin(), text.end(), '\\', '/');
    std::string collapsed;
    for (const char c : text) {
        if (!(c == '/' && !collapsed.empty() && collapsed.back() == '/')) collapsed.push_back(c);
    }
    // A path that exists as written needs no component looked up: one call instead of
    // one per component (extraction resolves every member's archive path).
    if (!collapsed.empty() && existsAsWritten(collapsed)) return collapsed;

    std::string resolved = (!collapsed.empty() && collapsed.front() == '/') ? "/" : "";
    bool lookingUp = true;  // once a component is missing, nothing below it exists
    std::size_t start = resolved.size();
    while (start < collapsed.size()) {
        std::size_t end = collapsed.find('/', start);
        if (end == std::string::npos) end = collapsed.size();
        const std::string component = collapsed.substr(start, end - start);
        std::string next = joinPath(resolved, component);
        if (lookingUp && !existsAsWritten(next)) {
            std::string match;
            if (findIgnoringCase(resolved, component, match)) {
                next = joinPath(resolved, match);
            } else {
                lookingUp = false;
            }
        }
        resolved = std::move(next);
        if (end < collapsed.size()) resolved.push_back('/');
        start = end + 1;
    }
    return resolved;
}

ReadOnlyFile::ReadOnlyFile(const std::string& path) : handle_(openRegularFile(path)) {}

ReadOnlyFile::~ReadOnlyFile() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept {
    if (this != &other) {
        if (handle_ >= 0) ::close(static_cast<int>(handle_));
        handle_ = std::exchange(other.handle_, -1);
    }
    return *this;
}

std::uint64_t ReadOnlyFile::size() const { return sizeOf(static_cast<int>(handle_)); }

FileIdentity ReadOnlyFile::identity() const {
    struct stat status {};
    if (::fstat(static_cast<int>(handle_), &status) != 0) throw Failure(FailureKind::Unreadable, kCantReadFileSize);
    FileIdentity identity;
    identity.device = static_cast<std::uint64_t>(status.st_dev);
    identity.file = static_cast<std::uint64_t>(status.st_ino);
    identity.size = status.st_size < 0 ? 0 : static_cast<std::uint64_t>(status.st_size);
    identity.lastWriteTime = static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    identity.changeTime = static_cast<std::int64_t>(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec;
    return identity;
}

std::size_t ReadOnlyFile::readAt(std::uint64_t offset, std::uint8_t* into, std::size_t length) const {
    return readFully(static_cast<int>(handle_), offset, into, length);
}

std::uint32_t windowGranularity() {
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    return pageSize > 0 ? static_cast<std::uint32_t>(pageSize) : 4096;
}

FileWindow readWindow(const std::string& path, std::uint64_t windowStart, std::size_t length) {
    if (windowStart % windowGranularity() != 0) throw Failure(FailureKind::Invalid, kWindowNotAligned);
    return readWindow(ReadOnlyFile(resolvePath(path)), windowStart, length);
}

FileWindow readWindow(const ReadOnlyFile& file, std::uint64_t windowStart, std::size_t length) {
    if (windowStart % windowGranularity() != 0) throw Failure(FailureKind::Invalid, kWindowNotAligned);
    if (length == 0) {
        return {};
    }
    const std::uint64_t fileSize = file.size();
    if (windowStart > fileSize || length > fileSize - windowStart) throw Failure(FailureKind::Damaged, kWindowPastEnd);
    // Read, not mapped: a mapped page past the file's end faults with SIGBUS on access,
    // and another process may truncate the file at any moment (an updater replacing the
    // archive, say). Read bytes stay valid whatever happens to the file.
    ContentBuffer buffer = allocateContentBuffer(length);
    if (file.readAt(windowStart, buffer.get(), length) != length) {
        throw Failure(FailureKind::Damaged, kWindowPastEnd);  // the file shrank while it was read
    }
    std::uint8_t* bytes = buffer.release();
    return FileWindow{bytes, length, bytes};
}

void releaseWindow(FileWindow& window) {
    if (window.handle != nullptr) ContentBuffer(static_cast<std::uint8_t*>(window.handle)).reset();
    window = FileWindow{};
}

void ContentBufferDeleter::operator()(std::uint8_t* buffer) const { std::free(buffer); }

ContentBuffer allocateContentBuffer(std::size_t size) {
    // Unpacking writes every byte of a fresh buffer once. For large buffers, huge pages
    // save one page fault per 4 KiB, which costs more than the unpacking itself.
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    void* buffer = nullptr;
#ifdef MADV_HUGEPAGE
    if (size >= kHugePage) {
        const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
        buffer = std::aligned_alloc(kHugePage, rounded);
        if (buffer != nullptr) ::madvise(buffer, rounded, MADV_HUGEPAGE);
    }
#endif
    if (buffer == nullptr) buffer = std::malloc(size == 0 ? 1 : size);
    if (buffer == nullptr) throw std::bad_alloc();
    return ContentBuffer(static_cast<std::uint8_t*>(buffer));
}

namespace {

// A name for a temporary file beside the file name, unlikely to meet anything there.
std::string temporaryName(const std::string& name) {
    static std::atomic<unsigned> counter{0};
    return "." + name + ".kestran-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

// The same for a path: the temporary file's path beside it.
std::string temporarySibling(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    if (slash == std::string::npos) return temporaryName(target);
    return target.substr(0, slash + 1) + temporaryName(target.substr(slash + 1));
}

// Writes the bytes and the times to a descriptor and closes it; the errno of the
// first failure, 0 when everything went in.
int writeAndClose(FileDescriptor& file, const std::uint8_t* data, std::size_t size, FileTime time) {
    int error = writeAll(file.get(), data, size) ? 0 : (errno != 0 ? errno : EIO);
    if (error == 0) {
        // Access and last-write time; POSIX has no creation time to set. Like the
        // Windows side, a file system that keeps no such times doesn't fail the copy.
        const timespec stamp = timespecOf(time);
        const timespec times[2] = {stamp, stamp};
        ::futimens(file.get(), times);
    }
    // A failing close can mean the data never reached the disk.
    if (!file.close() && error == 0) error = errno != 0 ? errno : EIO;
    return error;
}

}  // namespace

WriteResult writeLocalFile(const std::string& path, const std::uint8_t* data, std::size_t size, bool overwrite,
                           FileTime time) {
    if (size > 0 && data == nullptr) return WriteResult::Failed;
    if (!overwrite) {
        // Made only if nothing is there (O_EXCL also refuses a FIFO or a link in its
        // place without opening it), so nothing of the user's is touched.
        FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (file.get() < 0) return errno == EEXIST ? WriteResult::AlreadyExists : WriteResult::Failed;
        if (writeAndClose(file, data, size, time) != 0) {
            ::unlink(path.c_str());  // nothing partial stays behind
            return WriteResult::Failed;
        }
        return WriteResult::Written;
    }

    // Overwriting: the bytes go to a fresh file beside the target, which takes the
    // target's place only once it is complete, so a failed write (a full disk) leaves
    // the user's file as it was. A symbolic link is written through, as an open of it
    // would: the file it leads to is the one replaced, and the link stays.
    std::string target = path;
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
        char* real = ::realpath(path.c_str(), nullptr);
        if (real == nullptr) return WriteResult::Failed;  // a link that leads nowhere
        target = real;
        std::free(real);
    }
    const bool exists = ::stat(target.c_str(), &status) == 0;
    // Only a regular file is replaced: a FIFO would block the caller until a reader
    // came, and a device or a directory is no file to copy into.
    if (exists && !S_ISREG(status.st_mode)) return WriteResult::Failed;

    const std::string temporary = temporarySibling(target);
    FileDescriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (file.get() < 0) return WriteResult::Failed;
    // The replacement keeps the permissions of the file it replaces.
    if (exists) ::fchmod(file.get(), status.st_mode & 07777);
    if (writeAndClose(file, data, size, time) != 0 || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return WriteResult::Failed;
    }
    return WriteResult::Written;
}

// --- OutputDirectory: every step below the directory goes through a descriptor of its
// parent (openat, mkdirat, renameat), so no path is ever walked again and no
// symbolic link below it is followed.

OutputDirectory::OutputDirectory(std::string path, std::intptr_t handle) : path_(std::move(path)), handle_(handle) {}

OutputDirectory::OutputDirectory(const std::string& path) : path_(path), handle_(-1) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw Failure(FailureKind::CannotOpen, path + ": " + std::strerror(errno));
    handle_ = fd;
}

OutputDirectory::~OutputDirectory() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

OutputDirectory::OutputDirectory(OutputDirectory&& other) noexcept
    : path_(std::move(other.path_)), handle_(std::exchange(other.handle_, -1)) {}

OutputDirectory& OutputDirectory::operator=(OutputDirectory&& other) noexcept {
    if (this != &other) {
        if (handle_ >= 0) ::close(static_cast<int>(handle_));
        path_ = std::move(other.path_);
        handle_ = std::exchange(other.handle_, -1);
    }
    return *this;
}

namespace {

bool isSymbolicLink(int directory, const std::string& name) {
    struct stat status {};
    return ::fstatat(directory, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode);
}

// Gives a file in a directory another name there unless that name is taken (EEXIST in
// error then). renameat2's RENAME_NOREPLACE where the file system has it; else a hard
// link under the new name, which fails when it is taken, and the old name removed.
bool renameWithoutReplacing(int directory, const std::string& from, const std::string& to, int& error) {
    if (::renameat2(directory, from.c_str(), directory, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        error = errno;
        return false;
    }
    if (::linkat(directory, from.c_str(), directory, to.c_str(), 0) != 0) {
        error = errno;
        return false;
    }
    ::unlinkat(directory, from.c_str(), 0);
    return true;
}

}  // namespace

OutputDirectory OutputDirectory::subdirectory(const std::string& name) const {
    const int parent = static_cast<int>(handle_);
    const std::string shown = joinPath(path_, name);
    if (::mkdirat(parent, name.c_str(), 0777) != 0 && errno != EEXIST) {
        throw Failure(FailureKind::CannotOpen, "cannot make the directory " + shown + ": " + std::strerror(errno));
    }
    const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (isSymbolicLink(parent, name))
            throw Failure(FailureKind::CannotOpen, shown + " is a symbolic link, which is not followed");
        throw Failure(FailureKind::CannotOpen, "cannot open the directory " + shown + ": " + std::strerror(error));
    }
    return OutputDirectory(shown, fd);
}

WriteResult OutputDirectory::writeFile(const std::string& name, const std::uint8_t* data, std::size_t size,
                                       bool overwrite, FileTime time, std::string& why) const {
    const int directory = static_cast<int>(handle_);
    const std::string shown = joinPath(path_, name);
    if (size > 0 && data == nullptr) {
        why = "nothing to write";
        return WriteResult::Failed;
    }
    struct stat existing {};
    const bool exists = ::fstatat(directory, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && S_ISLNK(existing.st_mode)) {
        why = shown + " is a symbolic link, which is not written through";
        return WriteResult::Failed;
    }
    if (exists && S_ISDIR(existing.st_mode)) {
        why = shown + " is a directory";
        return WriteResult::Failed;
    }
    if (exists && !overwrite) return WriteResult::AlreadyExists;

    // The file is made under a temporary name and takes its own only once it is
    // complete: an interrupted or failed write never leaves a partial file under the
    // final name. Without overwrite, a file that appeared meanwhile is left alone.
    const std::string written = temporaryName(name);
    FileDescriptor file(
        ::openat(directory, written.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (file.get() < 0) {
        why = "cannot create " + shown + ": " + std::strerror(errno);
        return WriteResult::Failed;
    }
    int error = writeAndClose(file, data, size, time);
    bool complete = error == 0;
    if (complete && overwrite && ::renameat(directory, written.c_str(), directory, name.c_str()) != 0) {
        complete = false;
        error = errno;
    }
    if (complete && !overwrite && !renameWithoutReplacing(directory, written, name, error)) {
        ::unlinkat(directory, written.c_str(), 0);
        if (error == EEXIST) return WriteResult::AlreadyExists;
        complete = false;
    }
    if (!complete) {
        ::unlinkat(directory, written.c_str(), 0);
        why = "cannot write " + shown + (error != 0 ? std::string(": ") + std::strerror(error) : std::string());
        return WriteResult::Failed;
    }
    return WriteResult::Written;
}

bool localNamesFollowWindowsRules() { return false; }

bool textsAreUtf8() { return true; }

FileTime currentTime() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return fileTimeOf(now);
}

std::string modulePath(void* /*moduleHandle*/) {
    // Any address inside this module names the shared object (or program) it lies in.
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&moduleAnchor), &info) == 0 || info.dli_fname == nullptr ||
        info.dli_fname[0] == '\0') {
        return {};
    }
    if (char* real = ::realpath(info.dli_fname, nullptr)) {
        std::string result = real;
        std::free(real);
        return result;
    }
    return info.dli_fname[0] == '/' ? std::string(info.dli_fname) : std::string();
}

std::string siblingPath(const std::string& modulePath, const std::string& fileName) {
    return (boost::filesystem::path(modulePath).parent_path() / fileName).string();
}

std::optional<std::string> readRegistryString(const std::string& /*keyPath*/, const std::string& /*valueName*/) {
    return std::nullopt;
}

std::optional<std::uint32_t> readRegistryDword(const std::string& /*keyPath*/, const std::string& /*valueName*/) {
    return std::nullopt;
}

}  // namespace kestran::platform
