#pragma once
// Serving an installation as a file system: one implementation over libfuse 3
// (fuse_mount.cpp), built where the build finds it, and one for everywhere else
// (fuse_unavailable.cpp), which only says so.
#include <string>

#include "installation_options.h"
#include "mount_options.h"

namespace kestran::cli {

// Whether this build can mount at all.
bool mountAvailable();

// Loads the installation, mounts its merged tree read-only at mountPoint and serves it
// until it is unmounted (fusermount3 -u, or SIGINT, SIGTERM or SIGHUP to the process).
// Without options.foreground the process goes to the background once the mount is
// ready, and the command returns there. Throws kestran::Failure (exit status 1) for a
// mount point that is missing, no directory or a mount already, and when the
// installation cannot be loaded or the system refuses the mount.
int serveMount(const InstallationChoice& choice, const MountOptions& options, const std::string& mountPoint);

}  // namespace kestran::cli
