// File table records, little-endian, one after another with nothing between them:
//
//   offset  size              field
//   0       2                 recordLength   bytes after this field, 16..260
//   2       4                 sizeReal       unpacked size
//   6       4                 sizeCompressed stored size; differs from sizeReal when packed
//   10      4                 crc            carried along, checked by nothing
//   14      recordLength-16   name           backslash-separated; a trailing one marks a directory
//   recordLength-2  4         offset         first stored byte, from the archive's start
#include "archive/file_table.h"

#include <utility>

#include "common/ascii.h"
#include "common/failure.h"
#include "common/little_endian.h"

namespace kestran {

namespace {

constexpr std::size_t kLengthFieldSize = 2;
constexpr char kSeparator = '\\';

Failure damaged(const char* message) { return Failure(FailureKind::Damaged, message); }

}  // namespace

IndexCursor::IndexCursor(std::uint8_t* table, std::size_t size) : table_(table), size_(size) {}

IndexCursor::IndexCursor(std::vector<std::uint8_t>& table) : IndexCursor(table.data(), table.size()) {}

// The readers are only called once the record is known to fit in the table.
std::uint32_t IndexCursor::readU32() {
    const std::uint32_t value = readLe32(table_ + position_);
    position_ += 4;
    return value;
}

std::size_t IndexCursor::checkWholeRecords(const std::uint8_t* table, std::size_t size, std::size_t from) {
    std::size_t position = from;
    while (size - position >= kLengthFieldSize) {
        const std::uint16_t recordLength = readLe16(table + position);
        if (recordLength > kMaxRecordLength) throw damaged(kEntryLengthExceeds260);
        if (recordLength < kRecordFixedLength) throw damaged(kEntryTooShort);
        if (recordLength > size - position - kLengthFieldSize) break;  // not whole yet
        if (recordLength == kRecordFixedLength) throw damaged(kBadIndex);
        position += kLengthFieldSize + recordLength;
    }
    return position;
}

bool IndexCursor::nextRecord(FileTableRecord& record) {
    if (position_ == size_) return false;
    // Every check comes before the first field is taken, so a damaged record leaves
    // the cursor where it was.
    if (bytesLeft() < kLengthFieldSize) throw damaged(kEntryPastEnd);
    const std::uint16_t recordLength = readLe16(table_ + position_);
    if (recordLength > kMaxRecordLength) throw damaged(kEntryLengthExceeds260);
    if (recordLength < kRecordFixedLength) throw damaged(kEntryTooShort);
    if (recordLength > bytesLeft() - kLengthFieldSize) throw damaged(kEntryPastEnd);
    // A record without a name would name the prefix itself.
    if (recordLength == kRecordFixedLength) throw damaged(kBadIndex);

    position_ += kLengthFieldSize;
    record.sizeReal = readU32();
    record.sizeCompressed = readU32();
    record.crc = readU32();
    char* name = reinterpret_cast<char*>(table_ + position_);
    std::size_t nameLength = recordLength - kRecordFixedLength;
    for (std::size_t i = 0; i < nameLength; ++i) name[i] = asciiLower(name[i]);
    position_ += nameLength;
    record.isDir = name[nameLength - 1] == kSeparator;
    if (record.isDir) --nameLength;
    record.name = std::string_view(name, nameLength);
    record.offset = readU32();
    record.isCompressed = !record.isDir && record.sizeReal != record.sizeCompressed;
    return true;
}

std::vector<FileTableRecord> IndexCursor::parseFileTable() {
    std::vector<FileTableRecord> records;
    // A record takes at least 18 bytes: room for all of them at once.
    records.reserve((size_ - position_) / (kLengthFieldSize + kRecordFixedLength + 1) + 1);
    FileTableRecord record;
    while (nextRecord(record)) records.push_back(record);
    return records;
}

ArchiveTable IndexCursor::readTable(std::vector<std::uint8_t> table) {
    ArchiveTable read;
    read.bytes = std::move(table);
    read.records = IndexCursor(read.bytes).parseFileTable();
    return read;
}

}  // namespace kestran
