#pragma once
// A portable FILETIME: 100-ns ticks since 1601-01-01 UTC, two 32-bit halves,
// low half first, exactly as the hosts and Windows lay it out.
#include <cstdint>
#include <ctime>

namespace kestran {

struct FileTime {
    std::uint32_t dwLowDateTime = 0;
    std::uint32_t dwHighDateTime = 0;
};

// Ticks between 1601-01-01 and the Unix epoch 1970-01-01.
constexpr std::uint64_t kUnixEpochTicks = 116444736000000000ULL;
constexpr std::uint64_t kTicksPerSecond = 10000000ULL;

inline std::uint64_t toTicks(FileTime t) { return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; }

inline FileTime fromTicks(std::uint64_t ticks) {
    return FileTime{static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
}

// Seconds and nanoseconds since the Unix epoch; times before 1970 come out negative.
inline FileTime fromUnixTime(std::int64_t seconds, std::int64_t nanoseconds = 0) {
    const std::int64_t ticks = seconds * static_cast<std::int64_t>(kTicksPerSecond) + nanoseconds / 100 +
                               static_cast<std::int64_t>(kUnixEpochTicks);
    return fromTicks(ticks < 0 ? 0 : static_cast<std::uint64_t>(ticks));
}

inline std::int64_t toUnixSeconds(FileTime t) {
    return (static_cast<std::int64_t>(toTicks(t)) - static_cast<std::int64_t>(kUnixEpochTicks)) /
           static_cast<std::int64_t>(kTicksPerSecond);
}

inline bool operator==(FileTime a, FileTime b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}
inline bool operator!=(FileTime a, FileTime b) { return !(a == b); }

}  // namespace kestran
