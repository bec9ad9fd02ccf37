#pragma once
// A file's last-write time in whole seconds since 1970, set and read by the system's
// own calls: the tests' way to stamp the archives they write and check the files the
// product writes. (Boost.Filesystem's time_t overloads are not used: a build with
// 64-bit time_t on a 32-bit system cannot link the C library's 32-bit ones.)
#include <cstdint>
#include <string>

namespace kestran::testing {

// Throws std::runtime_error naming the path when the system refuses.
void setLastWriteTime(const std::string& path, std::int64_t seconds);
std::int64_t lastWriteTime(const std::string& path);

}  // namespace kestran::testing
