// The chunk stream of an archive, little-endian throughout:
//
//   chunk         := chunkId:u32  chunkSize:i32  payload[chunkSize]
//   chunkId       :  bits 0..30 the type (1 = header chunk), bit 31 ignored
//
//   header payload (scrambled whole for VersionCode 0 and 1, plain otherwise):
//     offset 0  size 4              unpackedSize   length of the decoded file table
//     offset 4  size chunkSize - 4  encoded table  LZHUF stream, see header_decoder.h
//
// Other chunks (member contents) are passed over with a relative seek; the file table
// reaches their bytes through absolute offsets.
#include "archive/chunk_stream.h"

#include <algorithm>
#include <new>
#include <optional>
#include <vector>

#include "archive/bit_stack.h"
#include "archive/file_table.h"
#include "archive/header_descrambler.h"
#include "common/failure.h"
#include "common/little_endian.h"

namespace kestran {

namespace {

constexpr std::size_t kUnpackedSizeBytes = 4;
// The file table is reserved at five times the payload; the decoder never emits more
// than the unpacked size plus the rest of one longest match.
constexpr std::uint64_t kReserveFactor = 5;
constexpr std::uint64_t kLongestMatchOverrun = 59;
// One encoded bit yields at most 6 decoded bytes (a 60-byte match costs at least 10 bits).
constexpr std::uint64_t kMostBytesPerBit = 6;
// The file table is decoded and checked this many bytes at a time.
constexpr std::uint64_t kSliceBytes = std::uint64_t{1} << 20;
// The largest header chunk taken. The largest real tables hold a few hundred thousand
// records, some tens of megabytes decoded and a few encoded; a larger chunk is damage or
// forgery, refused before it is read.
constexpr std::uint64_t kMaxHeaderChunk = std::uint64_t{256} << 20;

bool readBytes(std::istream& stream, std::uint8_t* into, std::size_t count) {
    stream.read(reinterpret_cast<char*>(into), static_cast<std::streamsize>(count));
    return stream && static_cast<std::size_t>(stream.gcount()) == count;
}

Failure damaged(const char* message) { return Failure(FailureKind::Damaged, message); }

// Bytes between the stream's position and its end, with the position restored; none
// when the stream cannot tell.
std::optional<std::uint64_t> remainingLength(std::istream& stream) {
    const std::istream::pos_type here = stream.tellg();
    if (here == std::istream::pos_type(-1)) return std::nullopt;
    stream.seekg(0, std::ios::end);
    const std::istream::pos_type end = stream.tellg();
    stream.clear();
    stream.seekg(here);
    if (end == std::istream::pos_type(-1) || !stream) return std::nullopt;
    return end > here ? static_cast<std::uint64_t>(end - here) : 0;
}

// Reads the header chunk's payload whole, refusing a size the file cannot back before
// allocating anything for it.
std::vector<std::uint8_t> readPayload(std::istream& stream, std::int32_t chunkSize) {
    if (chunkSize < static_cast<std::int32_t>(kUnpackedSizeBytes)) throw damaged(kBadHeaderChunkSize);
    const std::uint64_t size = static_cast<std::uint64_t>(chunkSize);
    const std::optional<std::uint64_t> available = remainingLength(stream);
    if (!available || *available < size) throw damaged(kErrorReadingIndex);
    if (size > kMaxHeaderChunk) throw Failure(FailureKind::TooLarge, kHeaderChunkTooLarge);

    std::vector<std::uint8_t> payload(static_cast<std::size_t>(size));
    if (!readBytes(stream, payload.data(), payload.size())) throw damaged(kErrorReadingIndex);
    return payload;
}

// Reserves room for the file table up front: five times the payload, but never more
// than the table can hold. The reservation is only a hint, so a size the decoder is
// about to reject, or memory the system will not give, leaves the vector unreserved.
void reserveTable(std::vector<std::uint8_t>& table, std::size_t payloadSize, std::uint32_t unpackedSize) {
    const std::uint64_t encodedBits = (std::uint64_t{payloadSize} - kUnpackedSizeBytes) * 8;
    if (unpackedSize > encodedBits * kMostBytesPerBit) return;
    const std::uint64_t wanted =
        std::min(kReserveFactor * payloadSize, std::uint64_t{unpackedSize} + kLongestMatchOverrun);
    if (wanted > table.max_size()) return;
    try {
        table.reserve(static_cast<std::size_t>(wanted));
    } catch (const std::bad_alloc&) {
    }
}

}  // namespace

std::vector<std::uint8_t> readFileTable(std::istream& stream, std::uint32_t versionCode) {
    std::int32_t chunkSize = 0;
    for (int skipped = 0;;) {
        std::uint8_t field[4];
        if (!readBytes(stream, field, sizeof field)) throw damaged(kErrorReadingFlagField);
        const std::uint32_t chunkId = readLe32(field);
        if (!readBytes(stream, field, sizeof field)) throw damaged(kErrorReadingOffsetField);
        chunkSize = static_cast<std::int32_t>(readLe32(field));

        if ((chunkId & kChunkTypeMask) == kHeaderChunkId) break;
        if (!stream.seekg(chunkSize, std::ios::cur)) throw damaged(kSeekError);
        if (++skipped > kMaxSkippedChunks) throw damaged(kTooManySeeks);
    }

    std::vector<std::uint8_t> payload = readPayload(stream, chunkSize);
    if (hasScrambledHeaders(versionCode))
        HeaderDescrambler::descramble(payload.data(), chunkSize, static_cast<int>(versionCode));

    const std::uint32_t unpackedSize = readLe32(payload.data());
    BitStack encoded(payload.data() + kUnpackedSizeBytes, payload.size() - kUnpackedSizeBytes);
    encoded.checkClaim(unpackedSize, 0);
    std::vector<std::uint8_t> table;
    reserveTable(table, payload.size(), unpackedSize);
    // A slice at a time, each slice's whole records checked as they come: a table that
    // cannot be records (a damaged or forged header claiming gigabytes) fails at its
    // first bad record, before the bytes it claims are decoded and held.
    std::size_t checked = 0;
    while (table.size() < unpackedSize) {
        const std::uint64_t slice = std::min<std::uint64_t>(unpackedSize, std::uint64_t{table.size()} + kSliceBytes);
        encoded.decode(static_cast<std::uint32_t>(slice), table);
        checked =
            IndexCursor::checkWholeRecords(table.data(), std::min<std::size_t>(table.size(), unpackedSize), checked);
    }
    return table;
}

ArchiveTable readArchiveIndex(std::istream& stream, std::uint32_t versionCode) {
    return IndexCursor::readTable(readFileTable(stream, versionCode));
}

ArchiveTable readArchiveRecords(std::istream& stream, std::int32_t versionCode) {
    const auto code = static_cast<std::uint32_t>(versionCode);
    if (!hasScrambledHeaders(code)) return readArchiveIndex(stream, code);
    try {
        return readArchiveIndex(stream, code);
    } catch (const Failure&) {
        // The scrambled layouts: the other key variant, once, from the archive's start.
        stream.clear();
        stream.seekg(0);
        return readArchiveIndex(stream, code ^ 1u);
    }
}

}  // namespace kestran
