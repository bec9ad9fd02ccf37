#include "installation/extracted_file.h"

#include <lzo/lzo1x.h>

#include <limits>
#include <utility>

#include "common/failure.h"
#include "installation/archive_file.h"

namespace kestran_db {

namespace {

const char* const kBeyond4GiB = "entry's stored bytes lie beyond the 4 GiB an archive can address";
const char* const kStoredTooShort = "entry's stored bytes are fewer than its size";
const char* const kImpossibleSize = "compressed entry claims a size its stored bytes cannot hold";
const char* const kDamaged = "compressed entry is damaged";

// LZO1X codes a long match in runs of zero bytes worth 255 each, so one stored
// byte never unpacks to more than 255 bytes; a larger claim is damage, and is
// refused before a buffer of that size is allocated.
constexpr std::uint64_t kMostUnpackedBytesPerStoredByte = 255;
constexpr std::uint64_t kUnpackSlack = 64;

void initialiseLzo() {
    static const int status = lzo_init();
    if (status != LZO_E_OK) throw kestran::Failure(kestran::FailureKind::Damaged, "LZO library failed to initialise");
}

}  // namespace

ExtractedFile::ExtractedFile(const ArchiveFile& archive, const FileLocation& location)
    : sizeCompressed_(location.sizeCompressed),
      sizeReal_(location.sizeReal),
      isCompressed_(location.isCompressed),
      crc_(location.crc),
      time_(archive.lastWriteTime) {
    const std::uint64_t end = std::uint64_t{location.offset} + location.sizeCompressed;
    if (end > 0xFFFFFFFFull) throw kestran::Failure(kestran::FailureKind::Damaged, kBeyond4GiB);
    if (!isCompressed_ && sizeReal_ > sizeCompressed_)
        throw kestran::Failure(kestran::FailureKind::Damaged, kStoredTooShort);
    if (isCompressed_ && sizeReal_ > std::uint64_t{sizeCompressed_} * kMostUnpackedBytesPerStoredByte + kUnpackSlack)
        throw kestran::Failure(kestran::FailureKind::Damaged, kImpossibleSize);

    if (isCompressed_ && unpackInPlace(archive, location.offset)) return;

    // The window starts at the last multiple of the granularity not above the offset.
    const std::uint32_t granularity = kestran::platform::windowGranularity();
    windowStart_ = location.offset / granularity * granularity;
    const std::size_t distance = static_cast<std::size_t>(location.offset - windowStart_);
    // Within 4 GiB, as checked above, so the length fits even a 32-bit size_t.
    const std::uint64_t windowLength = std::uint64_t{distance} + sizeCompressed_;
    if (windowLength > std::numeric_limits<std::size_t>::max())
        throw kestran::Failure(kestran::FailureKind::Damaged, kBeyond4GiB);
    view_ =
        kestran::platform::readWindow(openLoadedArchive(archive), windowStart_, static_cast<std::size_t>(windowLength));
    const std::uint8_t* stored = view_.data == nullptr ? nullptr : view_.data + distance;

    if (!isCompressed_) {
        data_ = stored;
        return;
    }
    try {
        initialiseLzo();
        buffer_ = kestran::platform::allocateContentBuffer(sizeReal_);
        lzo_uint unpacked = sizeReal_;
        const int status = sizeCompressed_ == 0
                               ? LZO_E_INPUT_OVERRUN
                               : lzo1x_decompress_safe(stored, sizeCompressed_, buffer_.get(), &unpacked, nullptr);
        // Trailing stored bytes after a complete stream are tolerated; anything short
        // of exactly sizeReal bytes is not.
        if ((status != LZO_E_OK && status != LZO_E_INPUT_NOT_CONSUMED) || unpacked != sizeReal_)
            throw kestran::Failure(kestran::FailureKind::Damaged, kDamaged);
        data_ = buffer_.get();
    } catch (...) {
        release();
        throw;
    }
}

// LZO1X unpacks within one buffer when the packed bytes lie at its top with room to
// spare above the unpacked size (LZO's own rule: a sixteenth of it, plus 67 bytes):
// one buffer instead of two, and the packed bytes read straight into it. Fresh memory
// costs the system a page clearing per page, a good part of the unpacking's own time.
// False, with nothing kept, when the packed bytes don't fit the rule or don't unpack so
// (then both go into buffers of their own); the read's failures are thrown.
bool ExtractedFile::unpackInPlace(const ArchiveFile& archive, std::uint32_t offset) {
    const std::uint64_t room = std::uint64_t{sizeReal_} + sizeReal_ / 16 + 64 + 3;
    if (sizeCompressed_ == 0 || sizeCompressed_ > room || room > std::numeric_limits<std::size_t>::max()) return false;
    // The packed bytes must be in the file before their unpacked size is allocated: a
    // record can claim a gigabyte that a short or cut archive never holds.
    const kestran::platform::ReadOnlyFile file = openLoadedArchive(archive);
    const std::uint64_t fileSize = file.size();
    if (offset > fileSize || sizeCompressed_ > fileSize - offset)
        throw kestran::Failure(kestran::FailureKind::Damaged, kestran::platform::kWindowPastEnd);
    initialiseLzo();
    kestran::platform::ContentBuffer buffer = kestran::platform::allocateContentBuffer(static_cast<std::size_t>(room));
    std::uint8_t* packed = buffer.get() + (room - sizeCompressed_);
    if (file.readAt(offset, packed, sizeCompressed_) != sizeCompressed_)
        throw kestran::Failure(kestran::FailureKind::Damaged, kestran::platform::kWindowPastEnd);
    lzo_uint unpacked = sizeReal_;
    const int status = lzo1x_decompress_safe(packed, sizeCompressed_, buffer.get(), &unpacked, nullptr);
    if ((status != LZO_E_OK && status != LZO_E_INPUT_NOT_CONSUMED) || unpacked != sizeReal_) return false;
    buffer_ = std::move(buffer);
    data_ = buffer_.get();
    return true;
}

ExtractedFile::~ExtractedFile() { release(); }

ExtractedFile::ExtractedFile(ExtractedFile&& other) noexcept
    : view_(std::exchange(other.view_, {})),
      data_(std::exchange(other.data_, nullptr)),
      sizeCompressed_(other.sizeCompressed_),
      sizeReal_(other.sizeReal_),
      isCompressed_(other.isCompressed_),
      crc_(other.crc_),
      buffer_(std::move(other.buffer_)),
      time_(other.time_),
      windowStart_(other.windowStart_) {}

ExtractedFile& ExtractedFile::operator=(ExtractedFile&& other) noexcept {
    if (this != &other) {
        release();
        view_ = std::exchange(other.view_, {});
        data_ = std::exchange(other.data_, nullptr);
        sizeCompressed_ = other.sizeCompressed_;
        sizeReal_ = other.sizeReal_;
        isCompressed_ = other.isCompressed_;
        crc_ = other.crc_;
        buffer_ = std::move(other.buffer_);
        time_ = other.time_;
        windowStart_ = other.windowStart_;
    }
    return *this;
}

void ExtractedFile::release() {
    kestran::platform::releaseWindow(view_);
    view_ = {};
    buffer_.reset();
    data_ = nullptr;
}

}  // namespace kestran_db
