#pragma once
// One open of a file of a mount: any range of the bytes of one copy of a member.
//
// A stored copy is read straight from its archive, only the range asked for, with pread
// (never a mapping: a mapped page past the end of an archive that shrank would kill the
// mount with SIGBUS). A compressed copy is unpacked once, at the first read, through the
// mount's MemberCache, and then held by this open for as long as it lasts.
//
// Threading: read may be called from several threads at once (a program's reads of
// one open file can overlap); a small mutex guards the unpacked member's handle.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "common/span.h"
#include "installation/file_location.h"
#include "member_cache.h"
#include "platform/platform.h"

namespace kestran::cli {

class OpenMember {
public:
    // For a stored copy, opens its archive. Throws kestran::Failure when the archive
    // cannot be opened or the copy's record is impossible (bytes beyond 4 GiB, a stored
    // copy longer than its stored bytes).
    OpenMember(const kestran_db::FileLocation& location, MemberCache& cache);

    // Up to length bytes from offset, fewer only where the copy ends (none at or past
    // its end). A stored copy's bytes are read into buffer (room for length bytes); a
    // compressed copy's are handed out where they lie, and holder keeps them valid for
    // as long as it holds them, even once this object is gone (a release on another
    // thread may end the open while the bytes are still being sent). Throws
    // kestran::Failure when the archive no longer holds the bytes (it shrank, or changed
    // since the load) or the copy does not unpack.
    kestran::Span<const std::uint8_t> read(std::uint64_t offset, std::size_t length, std::uint8_t* buffer,
                                           std::shared_ptr<const MemberCache::Member>& holder);

private:
    std::shared_ptr<const MemberCache::Member> unpacked();

    const kestran_db::FileLocation& location_;
    MemberCache& cache_;
    std::optional<platform::ReadOnlyFile> archive_;  // stored copies
    std::mutex mutex_;
    std::shared_ptr<const MemberCache::Member> unpacked_;  // compressed copies, after the first read
};

}  // namespace kestran::cli
