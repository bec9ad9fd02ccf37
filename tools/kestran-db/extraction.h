#pragma once
// Copying planned entries out below a target directory. Directories are made in plan
// order by the calling thread, each opened through its parent (so that no symbolic
// link below the target is followed); files are written by it and a pool of helper
// threads. Nothing is written below a directory that could not be made.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "installation/kestran_db.h"
#include "platform/platform.h"
#include "progress_report.h"

namespace kestran::cli {

// One thing to make below the target, in depth-first order: a directory comes before
// everything below it.
struct PlannedEntry {
    const kestran_db::FileNode* node = nullptr;  // its node: a file's winning copy is written
    std::string_view name;                       // the local name, one component (the node's)
    std::size_t shownFrom = 0;                   // where in the node's path the shown path starts
    std::optional<std::size_t> parent;           // the directory entry it lies in; none: the target
    bool isDirectory = false;
};

// The entry's path below the target, "/" between names, for messages.
std::string shownPath(const PlannedEntry& entry);

using ExtractionPlan = std::vector<PlannedEntry>;

// Makes the plan's directories and writes its files, with overwrite unless keep, on
// `jobs` threads (the calling one among them). Every entry not made is reported (an existing file kept by keep
// too), and the progress counts the files.
void extractPlan(const ExtractionPlan& plan, kestran::platform::OutputDirectory target, bool keep, unsigned jobs,
                 ProgressReport& progress);

}  // namespace kestran::cli
