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
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <new>

#include <boost/filesystem/path.hpp>

#include "common/ascii.h"
#include "common/failure.h"

namespace kestran::platform {

namespace {

constexpr std::uint32_t kAttributeDirectory = 0x10;  // FILE_ATTRIBUTE_DIRECTORY
constexpr std::uint32_t kAttributeNormal = 0x80;     // FILE_ATTRIBUTE_NORMAL

// "*.db*" matches every name that holds ".db" in any case.
constexpr const char* kArchiveNameMark = ".db";

constexpr const char* kCantReadFileSize = "Can't read file size!";
constexpr const char* kNotARegularFile = "Not a regular file!";
constexpr const char* kWindowNotAligned = "Window start not aligned to the mapping granularity!";
constexpr const char* kWindowPastEnd = "Window reaches past the end of the file!";
constexpr const char* kCantMapFile = "Can't map file!";

// Writes are issued in pieces no larger than this; write() may not take more at once.
constexpr std::size_t kMaxWritePiece = std::size_t{1} << 30;

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
    if (directory.empty()) {
        return name;
    }
    return directory.back() == '/' ? directory + name : directory + "/" + name;
}

bool existsAsWritten(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

// The entry of a directory that matches a name without regard to case; of several,
// the first in byte order, so the answer doesn't depend on the listing order.
bool findIgnoringCase(const std::string& directory, const std::string& name, std::string& match) {
    DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
    if (dir == nullptr) {
        return false;
    }
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string candidate = entry->d_name;
        if (equalsIgnoringCase(candidate, name) && (!found || candidate < match)) {
            match = candidate;
            found = true;
        }
    }
    ::closedir(dir);
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
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
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
        const ssize_t result = ::write(fd, data + written, std::min(size - written, kMaxWritePiece));
        if (result < 0 && errno == EINTR) {
            continue;
        }
        if (result <= 0) {
            return false;
        }
        written += static_cast<std::size_t>(result);
    }
    return true;
}

// The local target: its directory is resolved like every other path, but the file
// name is kept as written, so a new file never lands on an existing one that differs
// only in case.
std::string localTargetPath(const std::string& path) {
    std::string target = path;
    std::replace(target.begin(), target.end(), '\\', '/');
    const std::size_t slash = target.rfind('/');
    if (slash == std::string::npos) {
        return target;
    }
    const std::string name = target.substr(slash + 1);
    const std::string directory = slash == 0 ? std::string("/") : resolvePath(target.substr(0, slash));
    return joinPath(directory, name);
}

// An address that lies in this module whatever other modules define: internal linkage
// keeps it from being interposed.
void moduleAnchor() {}

}  // namespace

std::vector<FoundEntry> findArchiveCandidates(const std::string& directory) {
    std::vector<FoundEntry> found;
    const std::string realDirectory = resolvePath(directory);
    DIR* dir = ::opendir(realDirectory.empty() ? "." : realDirectory.c_str());
    if (dir == nullptr) {
        return found;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || !containsIgnoringCase(name, kArchiveNameMark)) {
            continue;
        }
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
    ::closedir(dir);
    return found;
}

std::string resolvePath(const std::string& path) {
    std::string text = path;
    std::replace(text.begin(), text.end(), '\\', '/');
    std::string collapsed;
    for (const char c : text) {
        if (!(c == '/' && !collapsed.empty() && collapsed.back() == '/')) {
            collapsed.push_back(c);
        }
    }

    std::string resolved = (!collapsed.empty() && collapsed.front() == '/') ? "/" : "";
    bool lookingUp = true;  // once a component is missing, nothing below it exists
    std::size_t start = resolved.size();
    while (start < collapsed.size()) {
        std::size_t end = collapsed.find('/', start);
        if (end == std::string::npos) {
            end = collapsed.size();
        }
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
        if (end < collapsed.size()) {
            resolved.push_back('/');
        }
        start = end + 1;
    }
    return resolved;
}

std::uint32_t mappingGranularity() {
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    return pageSize > 0 ? static_cast<std::uint32_t>(pageSize) : 4096;
}

MappedWindow mapWindow(const std::string& path, std::uint64_t windowStart, std::size_t length) {
    if (windowStart % mappingGranularity() != 0) {
        throw Failure(kWindowNotAligned);
    }
    FileDescriptor file(::open(resolvePath(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        throw Failure(kCantOpenFile);
    }
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) {
        throw Failure(kCantReadFileSize);
    }
    if (!S_ISREG(status.st_mode)) {
        throw Failure(kNotARegularFile);
    }
    if (length == 0) {
        return {};
    }
    // A mapped page past the end of the file faults on access: refuse such windows.
    const std::uint64_t fileSize = status.st_size < 0 ? 0 : static_cast<std::uint64_t>(status.st_size);
    if (windowStart > fileSize || length > fileSize - windowStart) {
        throw Failure(kWindowPastEnd);
    }
    // The whole window is read right after mapping: populate it in one call instead of
    // taking one page fault per page.
    int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
    flags |= MAP_POPULATE;
#endif
    void* view = ::mmap(nullptr, length, PROT_READ, flags, file.get(), static_cast<off_t>(windowStart));
    if (view == MAP_FAILED) {
        throw Failure(kCantMapFile);
    }
    // The descriptor closes here; the mapping stays valid until munmap.
    return MappedWindow{static_cast<const std::uint8_t*>(view), length, view};
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

void unmapWindow(MappedWindow& window) {
    if (window.handle != nullptr) {
        ::munmap(window.handle, window.length);
    }
    window = MappedWindow{};
}

WriteResult writeLocalFile(const std::string& path, const std::uint8_t* data, std::size_t size, bool overwrite,
                           FileTime time) {
    if (size > 0 && data == nullptr) {
        return WriteResult::Failed;
    }
    const std::string target = localTargetPath(path);
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (overwrite ? O_TRUNC : O_EXCL);
    FileDescriptor file(::open(target.c_str(), flags, 0666));
    if (file.get() < 0) {
        return errno == EEXIST ? WriteResult::AlreadyExists : WriteResult::Failed;
    }
    struct stat status {};
    const bool isRegularFile = ::fstat(file.get(), &status) == 0 && S_ISREG(status.st_mode);

    bool complete = writeAll(file.get(), data, size);
    if (complete) {
        // Access and last-write time; POSIX has no creation time to set. Like the
        // Windows side, a file system that keeps no such times doesn't fail the copy.
        const timespec stamp = timespecOf(time);
        const timespec times[2] = {stamp, stamp};
        ::futimens(file.get(), times);
    }
    // A failing close can mean the data never reached the disk.
    complete = file.close() && complete;
    if (!complete) {
        // Leave nothing partial behind (a device such as /dev/full is not removed).
        if (isRegularFile) {
            ::unlink(target.c_str());
        }
        return WriteResult::Failed;
    }
    return WriteResult::Written;
}

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
