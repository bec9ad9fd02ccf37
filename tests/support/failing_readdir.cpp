#include "support/failing_readdir.h"

#include <dlfcn.h>

#include <atomic>
#include <cerrno>

// Declared here rather than taken from <dirent.h>, whose declarations a build with
// 64-bit file offsets renames: this file defines both symbols as they are linked.
extern "C" {
void* readdir(void* stream);
void* readdir64(void* stream);
}

namespace {

std::atomic<bool> armed{false};
std::atomic<int> entriesLeft{0};
std::atomic<int> failureError{0};

using Readdir = void* (*)(void*);

void* forward(const char* name, void* stream) {
    if (armed.load()) {
        if (entriesLeft.fetch_sub(1) <= 0) {
            errno = failureError.load();
            return nullptr;
        }
    }
    // The next definition after this program's: the C library's (or a sanitizer's
    // interceptor in front of it).
    const auto next = reinterpret_cast<Readdir>(::dlsym(RTLD_NEXT, name));
    return next(stream);
}

}  // namespace

extern "C" void* readdir(void* stream) { return forward("readdir", stream); }
extern "C" void* readdir64(void* stream) { return forward("readdir64", stream); }

namespace kestran::testing {

ReaddirFailure::ReaddirFailure(int entries, int error) {
    entriesLeft = entries;
    failureError = error;
    armed = true;
}

ReaddirFailure::~ReaddirFailure() { armed = false; }

}  // namespace kestran::testing
