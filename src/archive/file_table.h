#pragma once
// The file table of an archive: the decoded header chunk, records one after another,
// each naming one file or directory and where its bytes lie. IndexCursor reads the
// records; who stores them, and where, is not its business.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kestran {

inline constexpr const char* kEntryLengthExceeds260 = "entry length exceeds 260";
inline constexpr const char* kBadIndex = "bad index";  // a record with an empty name
inline constexpr const char* kEntryTooShort = "entry length below 16";
inline constexpr const char* kEntryPastEnd = "entry runs past the end of the index";

// The longest recordLength a table may hold, and the bytes its fixed fields take.
constexpr std::uint16_t kMaxRecordLength = 260;
constexpr std::uint16_t kRecordFixedLength = 16;

// One record as read from the table. Its name points into the table's bytes, which
// must outlive it.
struct FileTableRecord {
    std::string_view name;  // lower-cased ('A' to 'Z' only), without a directory's trailing backslash
    bool isDir = false;
    std::uint32_t offset = 0;          // first stored byte, from the start of the archive file
    bool isCompressed = false;         // the sizes differ; never for a directory
    std::uint32_t sizeCompressed = 0;  // stored bytes at offset
    std::uint32_t sizeReal = 0;        // bytes once unpacked
    std::uint32_t crc = 0;             // carried along, checked by nothing
};

// A file table and its records, whose names point into its bytes.
struct ArchiveTable {
    std::vector<std::uint8_t> bytes;
    std::vector<FileTableRecord> records;
};

class IndexCursor {
public:
    // Borrows the table, which must outlive the cursor and the records it gives: names
    // are lower-cased where they stand, and the records point at them.
    IndexCursor(std::uint8_t* table, std::size_t size);
    explicit IndexCursor(std::vector<std::uint8_t>& table);

    // Reads the record at the current position into record; false at the table's end.
    // Throws kestran::Failure (Damaged) on a damaged record and then stays where it was.
    bool nextRecord(FileTableRecord& record);

    // Every record from the current position to the table's end, in table order. A
    // damaged record anywhere throws, and no record is given: a table is taken whole or
    // not at all.
    std::vector<FileTableRecord> parseFileTable();

    std::size_t position() const { return position_; }

    // The records of a whole table, which the result then holds.
    static ArchiveTable readTable(std::vector<std::uint8_t> table);

    // Checks the records of a table still being decoded, whose first `size` bytes are in
    // hand, from position `from` (a record's start) up to the first record not whole
    // yet, and gives that record's position. Throws what nextRecord would for the first
    // damaged record among them: a table that cannot be records fails at its first bad
    // record, long before the bytes it claims are all decoded.
    static std::size_t checkWholeRecords(const std::uint8_t* table, std::size_t size, std::size_t from);

private:
    std::size_t bytesLeft() const { return size_ - position_; }
    std::uint32_t readU32();

    std::uint8_t* table_;
    std::size_t size_;
    std::size_t position_ = 0;
};

}  // namespace kestran
