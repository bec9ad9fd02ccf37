#pragma once
// One occurrence of a file in one archive: where a file table record says its bytes
// lie, and the archive that holds them.
#include <cstdint>

namespace kestran_db {

struct ArchiveFile;

struct FileLocation {
    std::uint32_t offset = 0;              // first stored byte, from the start of the archive file
    bool isCompressed = false;             // stored LZO1X-compressed; never true for a directory
    std::uint32_t sizeCompressed = 0;      // stored bytes at offset
    std::uint32_t sizeReal = 0;            // bytes once unpacked; the size users see
    std::uint32_t crc = 0;                 // carried along, checked by nothing
    const ArchiveFile* archive = nullptr;  // owned by the KestranDB's archive list
};

}  // namespace kestran_db
