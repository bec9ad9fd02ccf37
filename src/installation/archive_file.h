#pragma once
// One archive file of an installation, as the loader found it.
#include <cstddef>
#include <string>

#include "common/file_time.h"

namespace kestran_db {

// Archive paths of this many characters or more are refused: the Windows build opens
// archives with the ANSI file functions, which take no longer path.
constexpr std::size_t kMaxPath = 260;

struct ArchiveFile {
    // The full path in the product's Windows habit ("c:\games\arna\gamedata.db0"),
    // runs of backslashes collapsed and lower-cased ('A' to 'Z' only): it orders the
    // archives and is what the properties show.
    std::string path;
    // The path the archive is opened by. On Windows the path as found, case kept; on
    // POSIX the real, case-correct path on disk, since file names there are case-sensitive.
    std::string openPath;
    kestran::FileTime lastWriteTime;  // the time of every member this archive supplies
};

}  // namespace kestran_db
