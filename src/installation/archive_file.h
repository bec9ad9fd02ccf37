#pragma once
// One archive file of an installation, as the loader found it.
#include <cstddef>
#include <optional>
#include <string>

#include "common/file_time.h"
#include "platform/platform.h"

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
    // The file whose header was read, as it was then. Its members' offsets hold only
    // for that file: one rebuilt in place, or another renamed over its name, puts other
    // bytes there. None for an archive that no loader read.
    std::optional<kestran::platform::FileIdentity> identity;
};

// The archive opened again for its members' bytes. Throws kestran::Failure when it
// cannot be opened (as ReadOnlyFile does), and when it is no longer the file that was
// loaded: "ARCHIVE changed since it was loaded" (FailureKind::Unreadable).
kestran::platform::ReadOnlyFile openLoadedArchive(const ArchiveFile& archive);

}  // namespace kestran_db
