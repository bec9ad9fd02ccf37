#pragma once
// FsFindFirst's work: the root listing (the configured installations) and the listing
// of a directory inside an installation, which is the one place that loads one.
#include <memory>
#include <optional>
#include <string>

#include "config/installation_table.h"
#include "installation/shown_names.h"
#include "plugin/find_handle.h"
#include "plugin/guarded_sets.h"
#include "plugin/host_types.h"

namespace kestran::plugin {

// What FsFindFirst hands the host: a handle with its records, or none
// (INVALID_HANDLE_VALUE), and the last-error value to set, if any.
struct Listing {
    std::unique_ptr<FindHandle> handle;
    std::optional<DWORD> lastError;
};

// Any virtual path: one trailing backslash is dropped, "\" lists the root stamped with
// now, everything else lists inside an installation. Inside one, the path is the host's
// (names as names shows them) and the records carry the names names shows.
Listing listPath(const std::string& path, const InstallationTable& installations, GuardedSets& sets,
                 const kestran_db::ShownNames& names, FILETIME now);

// Every installation's name as a directory of size 0, all with the one time now, in
// the table's order. No handle for an empty table.
Listing listRoot(const InstallationTable& installations, FILETIME now);

// The children of a directory inside an installation, loading the installation when
// no set is loaded under its name. Each child carries the size and archive time of its
// highest-priority occurrence. No handle (last error ERROR_NO_MORE_FILES) for an
// installation that is not configured or fails to load; no handle (no last error) for
// a path that does not fit the scheme, a file, a path the tree does not hold and a
// directory without children.
Listing listDirectory(const std::string& path, const InstallationTable& installations, GuardedSets& sets,
                      const kestran_db::ShownNames& names);

}  // namespace kestran::plugin
