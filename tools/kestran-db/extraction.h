#pragma once
// Copying planned entries out below a target directory. Directories are made in plan
// order by the calling thread, each opened through its parent (so that no symbolic
// link below the target is followed); files are written by it and a pool of helper
// threads. Nothing is written below a directory that could not be made.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "installation/kestran_db.h"
#include "platform/platform.h"
#include "progress_report.h"

namespace kestran::cli {

// One thing to make below the target, in depth-first order: a directory comes before
// everything below it.
struct PlannedEntry {
    const kestran_db::FileNode* node = nullptr;  // a file's node: its winning copy is written
    std::string name;                            // the local name, one component
    std::string shownPath;                       // below the target, "/"-separated, for messages
    std::optional<std::size_t> parent;           // the directory entry it lies in; none: the target
    bool isDirectory = false;
    bool superseded = false;  // a later argument puts another file at the same place
};

using ExtractionPlan = std::vector<PlannedEntry>;

// Makes the plan's directories and writes its files, with overwrite unless keep, on
// `jobs` threads (the calling one among them). Every entry not made is reported (an existing file kept by keep
// too), and the progress counts the files.
void extractPlan(const ExtractionPlan& plan, kestran::platform::OutputDirectory target, bool keep, unsigned jobs,
                 ProgressReport& progress);

}  // namespace kestran::cli
