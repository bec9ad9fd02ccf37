#include "open_member.h"

#include <algorithm>

#include "common/failure.h"
#include "installation/archive_file.h"

namespace kestran::cli {

namespace {

constexpr const char* kBeyond4GiB = "the member's stored bytes lie beyond the 4 GiB an archive can address";
constexpr const char* kStoredTooShort = "the member's stored bytes are fewer than its size";
constexpr const char* kArchiveShrank = "the archive ends before the member's bytes (it changed since the mount began)";

}  // namespace

OpenMember::OpenMember(const kestran_db::FileLocation& location, MemberCache& cache)
    : location_(location), cache_(cache) {
    if (std::uint64_t{location.offset} + location.sizeCompressed > 0xFFFFFFFFull)
        throw Failure(FailureKind::Damaged, kBeyond4GiB);
    if (location.isCompressed) return;
    if (location.sizeReal > location.sizeCompressed) throw Failure(FailureKind::Damaged, kStoredTooShort);
    archive_.emplace(kestran_db::openLoadedArchive(*location.archive));
}

kestran::Span<const std::uint8_t> OpenMember::read(std::uint64_t offset, std::size_t length, std::uint8_t* buffer,
                                                   std::shared_ptr<const MemberCache::Member>& holder) {
    const std::uint64_t size = location_.sizeReal;
    if (offset >= size || length == 0) return {};
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(length, size - offset));
    if (location_.isCompressed) {
        holder = unpacked();
        return {holder->data() + offset, count};
    }
    if (archive_->readAt(location_.offset + offset, buffer, count) != count)
        throw Failure(FailureKind::Damaged, kArchiveShrank);
    return {buffer, count};
}

std::shared_ptr<const MemberCache::Member> OpenMember::unpacked() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (unpacked_) return unpacked_;
    }
    // Not under this open's lock: the cache lets concurrent asks wait for one unpacking.
    const kestran_db::FileLocation& location = location_;
    std::shared_ptr<const MemberCache::Member> member =
        cache_.get(&location, [&location] { return MemberCache::Member(*location.archive, location); });
    std::lock_guard<std::mutex> lock(mutex_);
    if (!unpacked_) unpacked_ = std::move(member);
    return unpacked_;
}

}  // namespace kestran::cli
