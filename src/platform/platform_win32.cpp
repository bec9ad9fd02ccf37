// Windows side of the platform layer: the Win32 calls behind platform.h. Texts are
// narrow ANSI texts throughout, as the hosts hand them over; only the module's own
// path is read as UTF-16 and converted.
#include "platform/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <shlwapi.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

#include <boost/filesystem/path.hpp>

#include "common/failure.h"

namespace kestran::platform {

namespace {

constexpr DWORD kMaxWritePiece = DWORD{1} << 30;

// Closes a kernel handle when it goes out of scope (INVALID_HANDLE_VALUE and null
// are both "no handle").
struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

struct SearchCloser {
    void operator()(HANDLE search) const { FindClose(search); }
};
using UniqueSearch = std::unique_ptr<std::remove_pointer_t<HANDLE>, SearchCloser>;

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

FileTime toFileTime(const FILETIME& time) { return FileTime{time.dwLowDateTime, time.dwHighDateTime}; }

FoundEntry toFoundEntry(const std::string& directory, const WIN32_FIND_DATAA& data) {
    FoundEntry entry;
    entry.name = data.cFileName;
    entry.openPath = directory + "\\" + entry.name;
    entry.attributes = data.dwFileAttributes;
    entry.creationTime = toFileTime(data.ftCreationTime);
    entry.lastAccessTime = toFileTime(data.ftLastAccessTime);
    entry.lastWriteTime = toFileTime(data.ftLastWriteTime);
    entry.size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    return entry;
}

// Opens HKEY_LOCAL_MACHINE\keyPath for reading; null when it is not there.
UniqueKey openMachineKey(const std::string& keyPath) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
    return UniqueKey(key);
}

// Writes every byte (WriteFile takes a 32-bit count: larger contents go in as many
// calls as needed) and, when all went in, gives the file one time for all three. A file
// system that keeps no such times doesn't fail the write. True when all went in.
bool writeContents(HANDLE file, const std::uint8_t* data, std::size_t size, FileTime time) {
    bool complete = true;
    for (std::size_t done = 0; complete && done < size;) {
        const auto piece = static_cast<DWORD>(std::min<std::size_t>(size - done, kMaxWritePiece));
        DWORD written = 0;
        complete = WriteFile(file, data + done, piece, &written, nullptr) && written > 0;
        done += written;
    }
    if (complete) {
        const FILETIME stamp{time.dwLowDateTime, time.dwHighDateTime};
        SetFileTime(file, &stamp, &stamp, &stamp);
    }
    return complete;
}

// Writes a new file (it must not exist) with these bytes and times; true when all went in.
bool writeNewFile(const std::string& path, const std::uint8_t* data, std::size_t size, FileTime time, DWORD& error) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    bool complete = writeContents(file, data, size, time);
    error = complete ? 0 : GetLastError();
    complete = CloseHandle(file) && complete;
    if (!complete) DeleteFileA(path.c_str());
    return complete;
}

// A name for a temporary file beside the one at path, unlikely to meet anything there.
std::string temporaryBeside(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = path.find_last_of("\\/");
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, nameStart) + "." + path.substr(nameStart) + ".kestran-" +
           std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
}

}  // namespace

std::vector<FoundEntry> findArchiveCandidates(const std::string& directory) {
    std::vector<FoundEntry> found;
    const std::string pattern = directory + "\\*.db*";
    WIN32_FIND_DATAA data;
    const HANDLE first = FindFirstFileA(pattern.c_str(), &data);
    if (first == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // Nothing matches, or the directory is not there (or is no directory): none.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES || error == ERROR_PATH_NOT_FOUND ||
            error == ERROR_DIRECTORY || error == ERROR_INVALID_NAME)
            return found;
        throw Failure(FailureKind::Unreadable,
                      "cannot list the directory " + directory + " (Windows error " + std::to_string(error) + ")");
    }
    const UniqueSearch search(first);
    do {
        found.push_back(toFoundEntry(directory, data));
    } while (FindNextFileA(search.get(), &data));
    // FindNextFileA says "no more" and "failed" both with FALSE: a search cut short
    // must not pass for a complete one, as one archive missing from it silently
    // changes which copy of a file wins.
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES)
        throw Failure(FailureKind::Unreadable,
                      "cannot list the directory " + directory + " (Windows error " + std::to_string(error) + ")");
    return found;
}

std::string resolvePath(const std::string& path) { return path; }

ReadOnlyFile::ReadOnlyFile(const std::string& path) : handle_(0) {
    // Shared with every other reader and writer, as a C runtime stream opens it.
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE && GetLastError() == ERROR_TOO_MANY_OPEN_FILES)
        throw Failure(FailureKind::Unreadable, kOutOfDescriptors);
    if (file.get() == INVALID_HANDLE_VALUE) throw Failure(FailureKind::CannotOpen, kCantOpenFile);
    // A pipe or a device would make reads wait: only files on a disk are taken.
    if (GetFileType(file.get()) != FILE_TYPE_DISK) throw Failure(FailureKind::Unreadable, kNotARegularFile);
    handle_ = reinterpret_cast<std::intptr_t>(file.release());
}

ReadOnlyFile::~ReadOnlyFile() {
    if (handle_ != 0) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept : handle_(std::exchange(other.handle_, 0)) {}

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept {
    if (this != &other) {
        if (handle_ != 0) CloseHandle(reinterpret_cast<HANDLE>(handle_));
        handle_ = std::exchange(other.handle_, 0);
    }
    return *this;
}

FileIdentity ReadOnlyFile::identity() const {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(reinterpret_cast<HANDLE>(handle_), &info))
        throw Failure(FailureKind::Unreadable, kCantReadFileSize);
    // The volume is left out: on a path that stays the same, the file index with the
    // size and the time tells the files apart, and Wine derives a volume's serial number
    // anew on every call, from files that may be busy.
    FileIdentity identity;
    identity.file = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    identity.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    identity.lastWriteTime = static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                                       info.ftLastWriteTime.dwLowDateTime);
    return identity;
}

std::uint64_t ReadOnlyFile::size() const {
    LARGE_INTEGER fileSize;
    if (!GetFileSizeEx(reinterpret_cast<HANDLE>(handle_), &fileSize) || fileSize.QuadPart < 0)
        throw Failure(FailureKind::Unreadable, kCantReadFileSize);
    return static_cast<std::uint64_t>(fileSize.QuadPart);
}

std::size_t ReadOnlyFile::readAt(std::uint64_t offset, std::uint8_t* into, std::size_t length) const {
    std::size_t done = 0;
    while (done < length) {
        const std::uint64_t at = offset + done;
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
        position.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(length - done, kMaxWritePiece));
        if (!ReadFile(reinterpret_cast<HANDLE>(handle_), into + done, piece, &got, &position)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            throw Failure(FailureKind::Unreadable, kCantReadFile);
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

std::uint32_t windowGranularity() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwAllocationGranularity;
}

namespace {

// The window of length bytes of an open file from windowStart (aligned, length > 0).
FileWindow mapWindow(HANDLE file, std::uint64_t windowStart, std::size_t length) {
    // A window past the end would need the mapping to grow, which a read-only file
    // can't: refuse it with a message of its own. While the view is mapped the system
    // refuses to truncate the file, so the view cannot fault later.
    LARGE_INTEGER fileSize;
    if (!GetFileSizeEx(file, &fileSize) || fileSize.QuadPart < 0)
        throw Failure(FailureKind::Unreadable, kCantReadFileSize);
    const auto size = static_cast<std::uint64_t>(fileSize.QuadPart);
    if (windowStart > size || length > size - windowStart) throw Failure(FailureKind::Damaged, kWindowPastEnd);

    const UniqueHandle mapping(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) throw Failure(FailureKind::Unreadable, kCantMapFile);
    void* view = MapViewOfFile(mapping.get(), FILE_MAP_READ, static_cast<DWORD>(windowStart >> 32),
                               static_cast<DWORD>(windowStart & 0xFFFFFFFFu), length);
    // Both handles close on the way out; the view keeps the file's section alive.
    if (view == nullptr) throw Failure(FailureKind::Unreadable, kCantMapFile);
    return FileWindow{static_cast<const std::uint8_t*>(view), length, view};
}

}  // namespace

FileWindow readWindow(const std::string& path, std::uint64_t windowStart, std::size_t length) {
    if (windowStart % windowGranularity() != 0) throw Failure(FailureKind::Invalid, kWindowNotAligned);
    const UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) throw Failure(FailureKind::CannotOpen, kCantOpenFile);
    if (GetFileType(file.get()) != FILE_TYPE_DISK) throw Failure(FailureKind::Unreadable, kNotARegularFile);
    if (length == 0) return FileWindow{};
    return mapWindow(file.get(), windowStart, length);
}

FileWindow readWindow(const ReadOnlyFile& file, std::uint64_t windowStart, std::size_t length) {
    if (windowStart % windowGranularity() != 0) throw Failure(FailureKind::Invalid, kWindowNotAligned);
    if (length == 0) return FileWindow{};
    return mapWindow(reinterpret_cast<HANDLE>(file.handle_), windowStart, length);
}

void releaseWindow(FileWindow& window) {
    if (window.handle != nullptr) UnmapViewOfFile(window.handle);
    window = FileWindow{};
}

void ContentBufferDeleter::operator()(std::uint8_t* buffer) const { std::free(buffer); }

ContentBuffer allocateContentBuffer(std::size_t size) {
    // Large pages need a privilege that ordinary users lack: plain heap memory here.
    void* buffer = std::malloc(size == 0 ? 1 : size);
    if (buffer == nullptr) throw std::bad_alloc();
    return ContentBuffer(static_cast<std::uint8_t*>(buffer));
}

WriteResult writeLocalFile(const std::string& path, const std::uint8_t* data, std::size_t size, bool overwrite,
                           FileTime time) {
    if (size > 0 && data == nullptr) return WriteResult::Failed;
    DWORD error = 0;
    if (!overwrite) {
        if (writeNewFile(path, data, size, time, error)) return WriteResult::Written;
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? WriteResult::AlreadyExists
                                                                           : WriteResult::Failed;
    }

    // Overwriting: the bytes go to a fresh file beside the target, which takes the
    // target's place only once it is complete, so a failed write (a full disk) leaves
    // the user's file as it was.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return WriteResult::Failed;
    const std::string temporary = temporaryBeside(path);
    if (!writeNewFile(temporary, data, size, time, error)) return WriteResult::Failed;
    if (!MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(temporary.c_str());
        return WriteResult::Failed;
    }
    return WriteResult::Written;
}

// --- OutputDirectory: path-based. A reparse point (a symbolic link or a junction) is
// refused wherever a directory or a file is to go, so nothing below the directory
// leads out of it.

namespace {

constexpr DWORD kNoAttributes = INVALID_FILE_ATTRIBUTES;

std::string lastErrorText() { return "Windows error " + std::to_string(GetLastError()); }

}  // namespace

OutputDirectory::OutputDirectory(std::string path, std::intptr_t handle) : path_(std::move(path)), handle_(handle) {}

OutputDirectory::OutputDirectory(const std::string& path) : path_(path), handle_(0) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == kNoAttributes)
        throw Failure(FailureKind::CannotOpen, path + ": cannot be opened (" + lastErrorText() + ")");
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        throw Failure(FailureKind::CannotOpen, path + ": not a directory");
}

OutputDirectory::~OutputDirectory() = default;

OutputDirectory::OutputDirectory(OutputDirectory&& other) noexcept
    : path_(std::move(other.path_)), handle_(other.handle_) {}

OutputDirectory& OutputDirectory::operator=(OutputDirectory&& other) noexcept {
    path_ = std::move(other.path_);
    handle_ = other.handle_;
    return *this;
}

OutputDirectory OutputDirectory::subdirectory(const std::string& name) const {
    const std::string full = path_ + "\\" + name;
    if (!CreateDirectoryA(full.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        throw Failure(FailureKind::CannotOpen, "cannot make the directory " + full + " (" + lastErrorText() + ")");
    const DWORD attributes = GetFileAttributesA(full.c_str());
    if (attributes == kNoAttributes)
        throw Failure(FailureKind::CannotOpen, "cannot open the directory " + full + " (" + lastErrorText() + ")");
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        throw Failure(FailureKind::CannotOpen, full + " is a symbolic link or junction, which is not followed");
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        throw Failure(FailureKind::CannotOpen, "cannot make the directory " + full + ": a file is there");
    return OutputDirectory(full, 0);
}

WriteResult OutputDirectory::writeFile(const std::string& name, const std::uint8_t* data, std::size_t size,
                                       bool overwrite, FileTime time, std::string& why) const {
    const std::string full = path_ + "\\" + name;
    if (size > 0 && data == nullptr) {
        why = "nothing to write";
        return WriteResult::Failed;
    }
    const DWORD attributes = GetFileAttributesA(full.c_str());
    if (attributes != kNoAttributes) {
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            why = full + " is a symbolic link, which is not written through";
            return WriteResult::Failed;
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            why = full + " is a directory";
            return WriteResult::Failed;
        }
        if (!overwrite) return WriteResult::AlreadyExists;
    }
    DWORD error = 0;
    // A fresh file beside the target, which takes the name only once it is complete: an
    // interrupted or failed write never leaves a partial file under the final name.
    const std::string temporary = temporaryBeside(full);
    if (!writeNewFile(temporary, data, size, time, error)) {
        why = "cannot write " + full + " (Windows error " + std::to_string(error) + ")";
        return WriteResult::Failed;
    }
    // Without overwrite, a file that appeared meanwhile is left alone.
    if (!MoveFileExA(temporary.c_str(), full.c_str(), overwrite ? MOVEFILE_REPLACE_EXISTING : 0)) {
        error = GetLastError();
        DeleteFileA(temporary.c_str());
        if (!overwrite && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS))
            return WriteResult::AlreadyExists;
        why = "cannot replace " + full + " (Windows error " + std::to_string(error) + ")";
        return WriteResult::Failed;
    }
    return WriteResult::Written;
}

bool localNamesFollowWindowsRules() { return true; }

bool textsAreUtf8() { return false; }

FileTime currentTime() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    FILETIME time{};
    SystemTimeToFileTime(&now, &time);
    return toFileTime(time);
}

std::string modulePath(void* moduleHandle) {
    // 260 units hold an ordinary path; a longer one is read in full rather than cut.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD units =
            GetModuleFileNameW(static_cast<HMODULE>(moduleHandle), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (units == 0) return {};
        if (units < buffer.size()) {
            buffer.resize(units);
            break;
        }
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }

    const int wide = static_cast<int>(buffer.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, buffer.data(), wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string path(static_cast<std::size_t>(bytes), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, buffer.data(), wide, path.data(), bytes, nullptr, nullptr) != bytes) return {};
    return path;
}

std::string siblingPath(const std::string& modulePath, const std::string& fileName) {
    // boost.filesystem converts the narrow text with the system's file-name code page
    // and back, so ANSI names survive unchanged.
    return boost::filesystem::path(modulePath).parent_path().string() + "\\" + fileName;
}

std::optional<std::string> readRegistryString(const std::string& keyPath, const std::string& valueName) {
    const UniqueKey key = openMachineKey(keyPath);
    if (!key) return std::nullopt;
    DWORD size = 0;
    if (SHRegGetValueA(key.get(), nullptr, valueName.c_str(), SRRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (size == 0) return std::string();
    std::string buffer(size, '\0');
    if (SHRegGetValueA(key.get(), nullptr, valueName.c_str(), SRRF_RT_REG_SZ, nullptr, buffer.data(), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    // The value's text ends at its first terminating zero.
    buffer.resize(std::min<std::size_t>(size, buffer.size()));
    const std::size_t end = buffer.find('\0');
    if (end != std::string::npos) buffer.resize(end);
    return buffer;
}

std::optional<std::uint32_t> readRegistryDword(const std::string& keyPath, const std::string& valueName) {
    const UniqueKey key = openMachineKey(keyPath);
    if (!key) return std::nullopt;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (SHRegGetValueA(key.get(), nullptr, valueName.c_str(), SRRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

}  // namespace kestran::platform
