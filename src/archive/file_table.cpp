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

IndexCursor::IndexCursor(const std::uint8_t* table, std::size_t size) : table_(table), size_(size) {}

IndexCursor::IndexCursor(const std::vector<std::uint8_t>& table) : IndexCursor(table.data(), table.size()) {}

// The readers are only called once the record is known to fit in the table.
std::uint32_t IndexCursor::readU32() {
    const std::uint32_t value = readLe32(table_ + position_);
    position_ += 4;
    return value;
}

std::string IndexCursor::readString(std::size_t length) {
    std::string text(reinterpret_cast<const char*>(table_ + position_), length);
    position_ += length;
    return text;
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
    record.name = readString(recordLength - kRecordFixedLength);
    lowerCaseAscii(record.name);
    record.isDir = record.name.back() == kSeparator;
    if (record.isDir) record.name.pop_back();
    record.offset = readU32();
    record.isCompressed = !record.isDir && record.sizeReal != record.sizeCompressed;
    return true;
}

std::vector<FileTableRecord> IndexCursor::parseFileTable() {
    std::vector<FileTableRecord> records;
    FileTableRecord record;
    while (nextRecord(record)) records.push_back(std::move(record));
    return records;
}

}  // namespace kestran
