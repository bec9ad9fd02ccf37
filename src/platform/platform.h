#pragma once
// The thin platform layer: everything the core needs from the operating system.
// One implementation for Windows (platform_win32.cpp) and one for POSIX
// (platform_posix.cpp); the build picks one. Paths given to it are in the product's
// Windows habit: on POSIX a backslash is a directory separator, and a component that
// does not exist as written is looked up without regard to case.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/file_time.h"

namespace kestran::platform {

// One entry of a directory search, as the system's find-data record describes it.
struct FoundEntry {
    std::string name;              // the entry's name as stored on disk
    std::string openPath;          // the path to open it by (the real path on POSIX)
    std::uint32_t attributes = 0;  // Windows attribute bits (0x10 for a directory)
    FileTime creationTime;
    FileTime lastAccessTime;
    FileTime lastWriteTime;
    std::uint64_t size = 0;
};

// Every entry of a directory whose name matches "*.db*" without regard to case, in
// the order the system lists them. A directory that is not there gives none. One that
// is there but cannot be searched, or whose search fails part-way, throws
// kestran::Failure naming the directory and the system's reason: a shorter list
// would pass for the whole one.
std::vector<FoundEntry> findArchiveCandidates(const std::string& directory);

// The path a Windows-habit path names on this system (the same text on Windows).
// On POSIX: backslashes become '/', "//" runs collapse, and each component missing
// as written is replaced by the one entry that matches it without regard to case.
// Throws kestran::Failure when a directory that has to be searched for such a match
// cannot be read to its end.
std::string resolvePath(const std::string& path);

// The failures of opening a file for reading.
inline constexpr const char* kCantOpenFile = "Can't open file!";
inline constexpr const char* kOutOfDescriptors = "Can't open file: this process has no file descriptor left!";
inline constexpr const char* kNotARegularFile = "Not a regular file!";
inline constexpr const char* kCantReadFileSize = "Can't read file size!";
inline constexpr const char* kCantReadFile = "Can't read file!";
// The failures of reading a window.
inline constexpr const char* kWindowNotAligned = "Window start not aligned to the mapping granularity!";
inline constexpr const char* kWindowPastEnd = "Window reaches past the end of the file!";
inline constexpr const char* kCantMapFile = "Can't map file!";

// What tells one version of a file from another: the file itself (device and inode on
// POSIX, the file index on Windows), its size and its last-write
// time, and on POSIX its status-change time, which a program that puts the old
// last-write time back cannot. A file rebuilt in place, or another file renamed over
// its name, has another.
struct FileIdentity {
    std::uint64_t device = 0;  // 0 on Windows
    std::uint64_t file = 0;
    std::uint64_t size = 0;
    std::int64_t lastWriteTime = 0;  // in the system's own unit (nanoseconds; FILETIME ticks)
    std::int64_t changeTime = 0;     // POSIX's ctime in nanoseconds; 0 on Windows

    bool operator==(const FileIdentity& other) const {
        return device == other.device && file == other.file && size == other.size &&
               lastWriteTime == other.lastWriteTime && changeTime == other.changeTime;
    }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// A regular file opened for reading by its path on this system (an openPath, or a
// path that resolvePath gave). Opening never waits: a FIFO, a device or a socket is
// refused, not opened, so a stray one among the archives cannot block the caller.
// Other readers and writers are not locked out.
class ReadOnlyFile {
public:
    // Throws kestran::Failure "Can't open file!" when the file cannot be opened, and
    // "Not a regular file!" for anything but a regular file (a directory included).
    // A process out of file descriptors is told apart (kOutOfDescriptors, Unreadable):
    // the file is there, and the cause is the process's own.
    explicit ReadOnlyFile(const std::string& path);
    ~ReadOnlyFile();
    ReadOnlyFile(ReadOnlyFile&& other) noexcept;
    ReadOnlyFile& operator=(ReadOnlyFile&& other) noexcept;
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // The file's size now; it may change while the file is open.
    std::uint64_t size() const;
    // The open file's identity now. Throws kestran::Failure when the system cannot say.
    FileIdentity identity() const;
    // Reads up to length bytes from offset into `into` and gives the count read: fewer
    // than asked only where the file ends. Throws kestran::Failure on a read error.
    std::size_t readAt(std::uint64_t offset, std::uint8_t* into, std::size_t length) const;

private:
    friend struct FileWindow readWindow(const ReadOnlyFile& file, std::uint64_t windowStart, std::size_t length);

    std::intptr_t handle_;
};

// The granularity a window must start at (Windows: the allocation granularity;
// POSIX: the page size).
std::uint32_t windowGranularity();

// A read-only window of a file: the bytes of the stored copy of an archive member.
// It stays valid until releaseWindow, whatever happens to the file meanwhile. On
// Windows it is a mapped view (the system refuses to shrink a file while a view of it
// is mapped); on POSIX the bytes are read into memory, because a mapping there faults
// (SIGBUS) once another process truncates the file, which would kill the host.
struct FileWindow {
    const std::uint8_t* data = nullptr;  // first byte of the window; null for an empty window
    std::size_t length = 0;
    void* handle = nullptr;  // what releaseWindow needs
};

// The window of length bytes of the file at path from windowStart, a multiple of
// windowGranularity(). Throws kestran::Failure "Can't open file!" when the file cannot
// be opened, and another Failure for anything but a regular file, a window that would
// reach past the end of the file (also when the file shrinks while it is read) or a
// system that refuses it. A length of 0 gives an empty window.
FileWindow readWindow(const std::string& path, std::uint64_t windowStart, std::size_t length);
// The same of a file already open, so that the bytes come from the very file that was
// checked (see FileIdentity).
FileWindow readWindow(const ReadOnlyFile& file, std::uint64_t windowStart, std::size_t length);
void releaseWindow(FileWindow& window);

// A buffer for unpacked contents, uninitialised; throws std::bad_alloc. Large ones are
// laid out so that the system can back them with huge pages where it has them.
struct ContentBufferDeleter {
    void operator()(std::uint8_t* buffer) const;
};
using ContentBuffer = std::unique_ptr<std::uint8_t[], ContentBufferDeleter>;
ContentBuffer allocateContentBuffer(std::size_t size);

enum class WriteResult {
    Written,        // the whole file written and its three times set
    AlreadyExists,  // the target exists and overwriting was not allowed; untouched
    Failed,         // could not create or write it; nothing partial is left behind
};

// Creates (or with overwrite, replaces) a local file with these bytes, and stamps its
// creation, access and last-write times with time. The path is the system's own, taken
// as it is: the user's folders are not matched without regard to case. A replacement is
// written beside the target and takes its place only when complete: a failed write
// leaves the existing file as it was. Only a regular file is replaced (through a
// symbolic link to one); a FIFO, a device or a directory in its place fails at once.
WriteResult writeLocalFile(const std::string& path, const std::uint8_t* data, std::size_t size, bool overwrite,
                           FileTime time);

// A directory that files are extracted into and below, never leaving it: every name
// is one component, and an existing symbolic link (on Windows, any reparse point:
// symbolic links and junctions) where a directory or file is to go is refused, never
// followed or written through. The directory itself may lie behind links: the user
// named it. Safe to use from several threads for different names.
class OutputDirectory {
public:
    // Opens a directory that exists. Throws kestran::Failure (naming the path) when it
    // is no directory or cannot be opened.
    explicit OutputDirectory(const std::string& path);
    ~OutputDirectory();
    OutputDirectory(OutputDirectory&& other) noexcept;
    OutputDirectory& operator=(OutputDirectory&& other) noexcept;
    OutputDirectory(const OutputDirectory&) = delete;
    OutputDirectory& operator=(const OutputDirectory&) = delete;

    // The path this directory was reached by, for messages.
    const std::string& path() const { return path_; }

    // The subdirectory name, made when missing. Throws kestran::Failure with the reason
    // when it cannot be made or opened, or when name is a symbolic link.
    OutputDirectory subdirectory(const std::string& name) const;

    // Writes the file name here with these bytes and stamps its times. The bytes go to a
    // fresh file that then takes the name's place, so an existing file (or a hard link
    // to one elsewhere) is replaced, never written through, and a failed write leaves
    // whatever was there. Without overwrite an existing name is left alone
    // (AlreadyExists). Refused (Failed, with the reason in `why`) when name is a
    // symbolic link or a directory.
    WriteResult writeFile(const std::string& name, const std::uint8_t* data, std::size_t size, bool overwrite,
                          FileTime time, std::string& why) const;

private:
    OutputDirectory(std::string path, std::intptr_t handle);

    std::string path_;
    std::intptr_t handle_;
};

// Whether this system's texts (terminals, file names) are UTF-8: Linux's are; Windows'
// narrow texts are in the ANSI code page.
bool textsAreUtf8();

// Whether local file names follow Windows rules here (device names, no ':' and no
// trailing dots or spaces), not only POSIX ones.
bool localNamesFollowWindowsRules();

// The current time, UTC.
FileTime currentTime();

// The full path of the module (shared object or DLL) that holds this code; empty
// when it cannot be found. moduleHandle is the handle the system gave the library's
// entry point (Windows); POSIX finds its own module and ignores it.
std::string modulePath(void* moduleHandle);

// The directory of a module path joined with a file name, in the system's separator.
std::string siblingPath(const std::string& modulePath, const std::string& fileName);

// Registry reads under HKEY_LOCAL_MACHINE, read only; POSIX has no registry and finds
// nothing. A value of another type than asked counts as missing.
std::optional<std::string> readRegistryString(const std::string& keyPath, const std::string& valueName);
std::optional<std::uint32_t> readRegistryDword(const std::string& keyPath, const std::string& valueName);

}  // namespace kestran::platform
