#pragma once
// FsGetFile's work: one file's highest-priority occurrence copied to a local file,
// stamped with its archive's time, with progress reported at 0 and 100 percent.
#include <functional>
#include <string>

#include "installation/shown_names.h"
#include "plugin/guarded_sets.h"

namespace kestran::plugin {

// Reports percent done (0 or 100) to the host; true when the user asks to abort.
using ProgressReport = std::function<bool(int percentDone)>;

// virtualPath is the host's (names as names shows them).
//
// Result codes:
//   FS_FILE_NOTSUPPORTED  resume or move asked for (progress not called)
//   FS_FILE_USERABORT     progress asked to abort at 0 (nothing done) or at 100 (the
//                         complete local file stays)
//   FS_FILE_NOTFOUND      path outside the scheme, installation not loaded (copying
//                         never loads), no such file, archive can't be opened
//   FS_FILE_READERROR     the member's stored bytes are damaged
//   FS_FILE_EXISTS        the target exists and overwriting was not asked for
//   FS_FILE_WRITEERROR    the target could not be created or written in full
//   FS_FILE_OK            written and stamped
int copyOut(const std::string& virtualPath, const std::string& localPath, int copyFlags, const GuardedSets& sets,
            const kestran_db::ShownNames& names, const ProgressReport& progress);

}  // namespace kestran::plugin
