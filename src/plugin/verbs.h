#pragma once
// FsExecuteFile's work: "open" goes back to the host, "properties" shows what holds an
// entry, every other verb is refused.
#include <functional>
#include <string>

#include "installation/shown_names.h"
#include "plugin/guarded_sets.h"
#include "plugin/properties.h"

namespace kestran::plugin {

// Shows a view to the user and gives the host result (FS_EXEC_OK once shown).
using PropertiesPresenter = std::function<int(const PropertiesView& view)>;

// FS_EXEC_YOURSELF for "open" (any path) and for the editions' top directories "\ARNA",
// "\VESK", "\TOLM" (any verb); FS_EXEC_ERROR for a path outside the scheme, an
// installation that is not loaded (this never loads), and any verb but "properties";
// otherwise what present gives for the entry's view. Verbs and paths compare exactly;
// the path is the host's (names as names shows them), and the view shows it so.
int executeVerb(const std::string& path, const std::string& verb, const GuardedSets& sets,
                const kestran_db::ShownNames& names, const PropertiesPresenter& present);

}  // namespace kestran::plugin
