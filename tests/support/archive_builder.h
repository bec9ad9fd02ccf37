#pragma once
// The project's own archive writer, for tests, benchmarks, fuzz seeds and the demo.
//
// ArchiveBuilder writes a whole archive in the layout the reader expects:
//
//   [filler chunks] [data chunk: every member's stored bytes] [header chunk]
//
// Member bytes go before the header chunk so that their offsets are known before the
// file table is encoded. The free functions below write the pieces one by one, for
// archives and tables that must be damaged in a particular way.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/chunk_stream.h"

namespace kestran::testing {

using Bytes = std::vector<std::uint8_t>;

// One file table record as it is stored.
struct TableRecord {
    std::string name;  // backslash-separated, case kept; a trailing backslash makes a directory
    std::uint32_t sizeReal = 0;
    std::uint32_t sizeCompressed = 0;
    std::uint32_t crc = 0;
    std::uint32_t offset = 0;
};

// The chunk types the builder writes besides the header chunk (type 1).
constexpr std::uint32_t kDataChunkId = 0;
constexpr std::uint32_t kFillerChunkId = 0x80000000;  // type 0 with bit 31 set

// A record with its true recordLength (name size + 16). Throws std::length_error when
// that does not fit the 16-bit field.
Bytes encodeRecord(const TableRecord& record);
// A recordLength field with any value followed by exactly these bytes: for damaged tables.
Bytes rawRecord(std::uint16_t recordLength, const Bytes& rest);

// The header chunk payload for a plain table: its size, then the LZHUF-encoded table,
// the whole scrambled when versionCode is 0 or 1.
Bytes headerPayload(const Bytes& table, std::uint32_t versionCode);
// Scrambles a payload in place as VersionCode 0 and 1 store it; other codes leave it.
void scrambleForVersion(Bytes& payload, std::uint32_t versionCode);

// A chunk header alone (any size, negative ones included), and a whole chunk.
Bytes chunkHeader(std::uint32_t chunkId, std::int32_t chunkSize);
Bytes chunk(std::uint32_t chunkId, const Bytes& payload);

// LZO1X-1 packing, as archives store compressed members.
Bytes compressLzo(const Bytes& plain);
// The crc the builder stamps into records (CRC-32 of the contents).
std::uint32_t contentsCrc(const Bytes& contents);

void append(Bytes& to, const Bytes& more);
// Writes bytes to a file, replacing it. Throws std::runtime_error when it cannot.
void writeFile(const std::string& path, const Bytes& bytes);

class ArchiveBuilder {
public:
    // The VersionCode decides whether the header chunk is scrambled (0 and 1) or plain.
    explicit ArchiveBuilder(std::uint32_t versionCode = 2);

    // Table records, in the order they are added. Names are stored exactly as given.
    ArchiveBuilder& storedFile(const std::string& name, const Bytes& contents);
    // Packed with LZO1X-1. The reader takes a file as packed when its two sizes differ,
    // so contents that pack to their own size are stored as they are.
    ArchiveBuilder& compressedFile(const std::string& name, const Bytes& contents);
    // A directory record; a trailing backslash is added when name lacks one.
    ArchiveBuilder& directory(const std::string& name);
    // A record with every field as given; nothing is stored for it.
    ArchiveBuilder& record(const TableRecord& record);
    // Bytes put into the table as they are (see rawRecord).
    ArchiveBuilder& rawBytes(const Bytes& bytes);

    // count chunks of payloadSize bytes at the archive's start, before the data chunk.
    ArchiveBuilder& fillerChunks(int count, std::size_t payloadSize = 0);
    // The header chunk's id; 1 by default, 0x80000001 has bit 31 set.
    ArchiveBuilder& headerChunkId(std::uint32_t chunkId);

    // The plain file table, offsets resolved as build() lays them out.
    Bytes table() const;
    Bytes build() const;
    void write(const std::string& path) const;

    // The chunks the reader passes over before the header chunk: the fillers, and the
    // data chunk when any member stores a byte.
    int chunksBeforeHeader() const;
    // Where the header chunk (its 8-byte chunk header) starts.
    std::size_t headerChunkOffset() const;

private:
    struct Entry {
        TableRecord record;
        bool inDataChunk = false;  // record.offset counts from the data chunk's payload
        bool isRaw = false;        // raw is written instead of record
        Bytes raw;
    };

    ArchiveBuilder& member(const std::string& name, const Bytes& contents, const Bytes& stored);
    std::size_t dataPayloadOffset() const;

    std::uint32_t versionCode_;
    std::uint32_t headerChunkId_ = kestran::kHeaderChunkId;
    int fillerCount_ = 0;
    std::size_t fillerSize_ = 0;
    std::vector<Entry> entries_;
    Bytes data_;
};

}  // namespace kestran::testing
