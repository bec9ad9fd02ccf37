// kestran-db mount where the build has no libfuse 3 (Windows, or a system without it).
#include "common/failure.h"
#include "fuse_mount.h"

namespace kestran::cli {

bool mountAvailable() { return false; }

int serveMount(const InstallationChoice&, const MountOptions&, const std::string&) {
    throw Failure(FailureKind::Invalid,
                  "kestran-db mount: this kestran-db was built without FUSE (libfuse 3), so it cannot mount");
}

}  // namespace kestran::cli
