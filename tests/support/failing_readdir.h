#pragma once
// A test seam for directory walks on POSIX: the program that links failing_readdir.cpp
// has its own readdir (and readdir64, which a build with 64-bit file offsets calls on
// 32-bit systems), passing every call on to the C library's until told to fail. A
// failing readdir gives a null entry with errno set, which is how the C library says
// that a walk broke off (EOVERFLOW for an inode number that a 32-bit struct dirent
// cannot hold, EIO, ESTALE on NFS), and the same null as "no more entries".

namespace kestran::testing {

// While one lives, readdir hands out `entries` more entries (over all directory
// streams) and then fails with `error` on every call.
class ReaddirFailure {
public:
    ReaddirFailure(int entries, int error);
    ~ReaddirFailure();
    ReaddirFailure(const ReaddirFailure&) = delete;
    ReaddirFailure& operator=(const ReaddirFailure&) = delete;
};

}  // namespace kestran::testing
