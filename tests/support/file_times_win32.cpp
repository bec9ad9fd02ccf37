#include "support/file_times.h"

#include <windows.h>

#include <stdexcept>

namespace kestran::testing {

namespace {

constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kUnixEpochTicks = 116444736000000000;  // 1970-01-01 in FILETIME ticks

struct Handle {
    HANDLE value;
    ~Handle() {
        if (value != INVALID_HANDLE_VALUE) CloseHandle(value);
    }
};

HANDLE openForTimes(const std::string& path, DWORD access) {
    // FILE_FLAG_BACKUP_SEMANTICS lets a directory be opened too.
    const HANDLE file = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot open " + path + " (Windows error " + std::to_string(GetLastError()) + ")");
    return file;
}

}  // namespace

void setLastWriteTime(const std::string& path, std::int64_t seconds) {
    const Handle file{openForTimes(path, FILE_WRITE_ATTRIBUTES)};
    const auto ticks = static_cast<std::uint64_t>(seconds * kTicksPerSecond + kUnixEpochTicks);
    const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    if (!SetFileTime(file.value, nullptr, &time, &time)) throw std::runtime_error("cannot set the time of " + path);
}

std::int64_t lastWriteTime(const std::string& path) {
    const Handle file{openForTimes(path, FILE_READ_ATTRIBUTES)};
    FILETIME time{};
    if (!GetFileTime(file.value, nullptr, nullptr, &time)) throw std::runtime_error("cannot read the time of " + path);
    const auto ticks = static_cast<std::int64_t>((std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
    const std::int64_t sinceEpoch = ticks - kUnixEpochTicks;
    // Whole seconds, rounded down as stat's tv_sec is.
    return sinceEpoch >= 0 ? sinceEpoch / kTicksPerSecond : -((-sinceEpoch + kTicksPerSecond - 1) / kTicksPerSecond);
}

}  // namespace kestran::testing
