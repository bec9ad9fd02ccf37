#pragma once
// An archive file is a flat run of chunks; the one of type 1, the header chunk, holds
// the archive's file table (called the "index" in the messages). These functions walk
// to it, unscramble and decode it, and read its records.
#include <cstdint>
#include <istream>
#include <vector>

#include "archive/file_table.h"

namespace kestran {

inline constexpr const char* kErrorReadingFlagField = "error reading flag field";
inline constexpr const char* kErrorReadingOffsetField = "error reading offset field";
inline constexpr const char* kSeekError = "seek error!";
inline constexpr const char* kTooManySeeks = "to many seekg!";
inline constexpr const char* kErrorReadingIndex = "error reading unpacked index";
inline constexpr const char* kBadHeaderChunkSize = "header chunk too small";
inline constexpr const char* kHeaderChunkTooLarge = "header chunk larger than any file table (256 MiB)";

// The header chunk's type; bit 31 of a chunk id is not part of the type.
constexpr std::uint32_t kHeaderChunkId = 1;
constexpr std::uint32_t kChunkTypeMask = 0x7FFFFFFF;
// At most this many chunks may precede the header chunk.
constexpr int kMaxSkippedChunks = 100;

// VersionCode 0 and 1 store the header chunk scrambled, with key variant 0 or 1; the
// others store it plain.
constexpr bool hasScrambledHeaders(std::uint32_t versionCode) { return versionCode == 0 || versionCode == 1; }

// Walks stream (a seekable binary stream standing at the archive's first chunk) to the
// header chunk, unscrambles it with key variant versionCode for the scrambled layouts
// and decodes it: the archive's file table, as raw records. Throws kestran::Failure
// (Damaged) with the message of the step that failed. The stream is left just after
// the header chunk.
std::vector<std::uint8_t> readFileTable(std::istream& stream, std::uint32_t versionCode);

// The same, then the file table's records, in table order: one attempt.
ArchiveTable readArchiveIndex(std::istream& stream, std::uint32_t versionCode);

// One archive's records, as an installation reads them: for the scrambled layouts,
// when the key variant of the VersionCode fails, the other one is tried once from the
// stream's start, and a second failure is the one thrown. Other VersionCodes make one
// attempt. A table that fails gives no records at all.
ArchiveTable readArchiveRecords(std::istream& stream, std::int32_t versionCode);

}  // namespace kestran
