#pragma once
// The requests of the kernel's FUSE driver, answered from a MountTree: libfuse's
// low-level interface, where entries are named by number (the tree's numbers are the
// inode numbers) and a lookup by a parent's number and one name.
//
// Everything the kernel may cache, it is told to keep for a long time (entries,
// attributes, directory listings, file pages): nothing in the mount ever changes.
//
// Threading: libfuse's multi-threaded loop calls these from several threads at once.
// The tree is only read; the member cache and each open file guard themselves.
#define FUSE_USE_VERSION 35
#include <fuse_lowlevel.h>
#include <sys/types.h>

#include "common/file_time.h"
#include "member_cache.h"
#include "mount_tree.h"

namespace kestran::cli {

// What the requests are answered from; libfuse's userdata for the session.
struct MountedInstallation {
    const MountTree& tree;
    MemberCache& cache;
    uid_t owner;
    gid_t group;
    FileTime mountTime;  // the time of a top without archives
    bool logFailures;    // reads that fail are named on standard error
};

const fuse_lowlevel_ops& mountOperations();

}  // namespace kestran::cli
