#pragma once
// An archive file is a flat run of chunks; the one of type 1, the header chunk, holds
// the archive's file table (the "index"). readArchiveIndex walks to it, unscrambles
// and decodes it, and enters every record into a KestranDB.
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace kestran_db {
class KestranDB;
struct ArchiveFile;
}  // namespace kestran_db

namespace kestran {

extern const char* const kErrorReadingFlagField;    // "error reading flag field"
extern const char* const kErrorReadingOffsetField;  // "error reading offset field"
extern const char* const kSeekError;                // "seek error!"
extern const char* const kTooManySeeks;             // "to many seekg!"
extern const char* const kErrorReadingIndex;        // "error reading unpacked index"
extern const char* const kBadHeaderChunkSize;       // a header chunk too small to hold its unpacked size

// The header chunk's type; bit 31 of a chunk id is not part of the type.
constexpr std::uint32_t kHeaderChunkId = 1;
constexpr std::uint32_t kChunkTypeMask = 0x7FFFFFFF;
// At most this many chunks may precede the header chunk.
constexpr int kMaxSkippedChunks = 100;

// Walks stream (a seekable binary stream standing at the archive's first chunk) to the
// header chunk, unscrambles it for VersionCode 0 and 1 and decodes it: the archive's
// file table, as raw records. Throws kestran::Failure with the message of the step
// that failed. The stream is left just after the header chunk.
std::vector<std::uint8_t> readIndexTable(std::istream& stream, std::uint32_t versionCode);

// Reads the archive's file table from stream (a seekable binary stream standing at the
// archive's first chunk) into set, stamping archive into every FileLocation and
// putting prefix before every name. VersionCode 0 and 1 unscramble the header chunk
// with that key variant first; other values take it as stored. Throws
// kestran::Failure with the message of the step that failed; a table that fails to
// read or parse enters nothing. The stream is left just after the header chunk.
// Gives the number of records entered.
std::size_t readArchiveIndex(kestran_db::KestranDB& set, std::istream& stream, const kestran_db::ArchiveFile& archive,
                             std::uint32_t versionCode, const std::string& prefix);

}  // namespace kestran
