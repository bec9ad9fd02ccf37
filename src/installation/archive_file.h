#pragma once
// One archive file of an installation: the find-data record the directory search
// gave for it, with cFileName replaced by the archive's lower-cased full path.
#include <cstdint>
#include <string>

#include "common/file_time.h"

namespace kestran_db {

constexpr std::size_t kMaxPath = 260;  // cFileName's size, terminator included

struct ArchiveFile {
    std::uint32_t dwFileAttributes = 0;
    kestran::FileTime ftCreationTime;
    kestran::FileTime ftLastAccessTime;
    kestran::FileTime ftLastWriteTime;  // the time of every member this archive supplies
    std::uint32_t nFileSizeHigh = 0;
    std::uint32_t nFileSizeLow = 0;
    char cFileName[kMaxPath] = {};  // lower-cased full path, shown to users and used for ordering
    // The path the archive is opened by. On Windows the same as cFileName; on POSIX the
    // real, case-correct path on disk, since file names there are case-sensitive.
    std::string openPath;
};

}  // namespace kestran_db
