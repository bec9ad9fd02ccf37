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
    std::string name;      // the entry's name as stored on disk
    std::string openPath;  // the path to open it by (the real path on POSIX)
    std::uint32_t attributes = 0;  // Windows attribute bits (0x10 for a directory)
    FileTime creationTime;
    FileTime lastAccessTime;
    FileTime lastWriteTime;
    std::uint64_t size = 0;
};

// Every entry of a directory whose name matches "*.db*" without regard to case, in
// the order the system lists them. A directory that cannot be searched gives none.
std::vector<FoundEntry> findArchiveCandidates(const std::string& directory);

// The path a Windows-habit path names on this system (the same text on Windows).
// On POSIX: backslashes become '/', "//" runs collapse, and each component missing
// as written is replaced by the one entry that matches it without regard to case.
std::string resolvePath(const std::string& path);

// The granularity a mapped window must start at (Windows: the allocation
// granularity; POSIX: the page size).
std::uint32_t mappingGranularity();

// The failure of mapWindow when the file cannot be opened at all.
inline constexpr const char* kCantOpenFile = "Can't open file!";

// A read-only mapped window of a file. The file itself is closed once the window is
// mapped; the window stays valid until unmapWindow.
struct MappedWindow {
    const std::uint8_t* data = nullptr;  // first byte of the window; null for an empty window
    std::size_t length = 0;
    void* handle = nullptr;              // what unmapWindow needs
};

// Maps length bytes of the file at path from windowStart, a multiple of
// mappingGranularity(). Throws kestran::Failure "Can't open file!" when the file
// cannot be opened, and another Failure when the window would reach past the end of
// the file or the system refuses the mapping. A length of 0 maps nothing.
MappedWindow mapWindow(const std::string& path, std::uint64_t windowStart, std::size_t length);
void unmapWindow(MappedWindow& window);

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
// creation, access and last-write times with time.
WriteResult writeLocalFile(const std::string& path, const std::uint8_t* data, std::size_t size, bool overwrite,
                           FileTime time);

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
