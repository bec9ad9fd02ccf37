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

#include <memory>
#include <mutex>
#include <unordered_map>

#include "common/file_time.h"
#include "member_cache.h"
#include "mount_tree.h"
#include "open_member.h"

namespace kestran::cli {

// What the requests are answered from; libfuse's userdata for the session. It owns the
// open files: a file a program still holds when the mount ends, or whose release the
// kernel had not sent yet, goes with it.
struct MountedInstallation {
    MountedInstallation(const MountTree& t, MemberCache& c, uid_t u, gid_t g, FileTime time, bool log)
        : tree(t), cache(c), owner(u), group(g), mountTime(time), logFailures(log) {}

    const MountTree& tree;
    MemberCache& cache;
    uid_t owner;
    gid_t group;
    FileTime mountTime;  // the time of a top without archives
    bool logFailures;    // reads that fail are named on standard error
    // The kernel can do without opening directories: it then keeps their listings
    // cached and spares two requests on every directory a program opens.
    bool withoutOpendir = false;

    // Open and release run in any thread: this mutex guards the table.
    std::mutex openMutex;
    std::unordered_map<const OpenMember*, std::unique_ptr<OpenMember>> openFiles;
};

const fuse_lowlevel_ops& mountOperations();

}  // namespace kestran::cli
