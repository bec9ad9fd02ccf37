#pragma once
// The decoded file table of an archive: records one after another, each naming one
// file or directory and where its bytes lie. parseFileTable enters every record into
// a KestranDB's merged tree.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/file_location.h"

namespace kestran_db {
class KestranDB;
struct ArchiveFile;
}  // namespace kestran_db

namespace kestran {

extern const char* const kEntryLengthExceeds260;  // "entry length exceeds 260"
extern const char* const kBadIndex;               // "bad index": a record with an empty name
extern const char* const kEntryTooShort;          // a recordLength below the fixed fields' 16 bytes
extern const char* const kEntryPastEnd;           // a record longer than the bytes left in the table
extern const char* const kTooManyDirectories;     // a table implying far more directories than it names

// The directories a table implies but no record names become nodes of the merged tree
// too, each keyed by its full path. Their path bytes may come to at most this many
// times those of the table's own paths, plus the slack, so that the tree stays a small
// multiple of the table (see parseFileTable).
constexpr std::size_t kImpliedDirectoryFactor = 4;
constexpr std::size_t kImpliedDirectorySlack = 16 * 1024;

// The longest recordLength a table may hold, and the bytes its fixed fields take.
constexpr std::uint16_t kMaxRecordLength = 260;
constexpr std::uint16_t kRecordFixedLength = 16;

// One record as read from the table.
struct FileTableRecord {
    std::string name;  // lower-cased, without a directory's trailing backslash
    bool isDir = false;
    FileLocation location;
};

class IndexCursor {
public:
    // Borrows the table and the archive; both must outlive the cursor.
    IndexCursor(const std::uint8_t* table, std::size_t size, const kestran_db::ArchiveFile& archive);
    IndexCursor(const std::vector<std::uint8_t>& table, const kestran_db::ArchiveFile& archive);

    // Reads the record at the current position into record; false at the table's end.
    // Throws kestran::Failure on a damaged record and then stays where it was.
    bool nextRecord(FileTableRecord& record);

    // Reads every record from the current position to the table's end and enters each
    // under prefix + its lower-cased name, appending one FileLocation per record. The
    // whole table is read before anything is entered, so a damaged table throws
    // kestran::Failure and leaves set untouched (a retry with the other key starts clean).
    // So does a table whose implied directories would outweigh it (kTooManyDirectories).
    // Gives the number of records entered.
    std::size_t parseFileTable(kestran_db::KestranDB& set, const std::string& prefix);

    std::size_t position() const { return position_; }

private:
    std::size_t bytesLeft() const { return size_ - position_; }
    std::uint32_t readU32();
    std::string readString(std::size_t length);

    const std::uint8_t* table_;
    std::size_t size_;
    const kestran_db::ArchiveFile* archive_;
    std::size_t position_ = 0;
};

}  // namespace kestran
