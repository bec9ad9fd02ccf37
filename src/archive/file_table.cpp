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

#include "common/failure.h"
#include "installation/kestran_db.h"

namespace kestran {

const char* const kEntryLengthExceeds260 = "entry length exceeds 260";
const char* const kBadIndex = "bad index";
const char* const kEntryTooShort = "entry length below 16";
const char* const kEntryPastEnd = "entry runs past the end of the index";

namespace {

constexpr std::size_t kLengthFieldSize = 2;
constexpr char kSeparator = '\\';

// Classic "C" lower-casing: only 'A' to 'Z' change, bytes from 0x80 up stay as they are.
void lowerCaseAscii(std::string& text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
}

}  // namespace

IndexCursor::IndexCursor(const std::uint8_t* table, std::size_t size, const kestran_db::ArchiveFile& archive)
    : table_(table), size_(size), archive_(&archive) {}

IndexCursor::IndexCursor(const std::vector<std::uint8_t>& table, const kestran_db::ArchiveFile& archive)
    : IndexCursor(table.data(), table.size(), archive) {}

// The readers are only called once the record is known to fit in the table.
std::uint16_t IndexCursor::readU16() {
    const unsigned value = table_[position_] | (static_cast<unsigned>(table_[position_ + 1]) << 8);
    position_ += 2;
    return static_cast<std::uint16_t>(value);
}

std::uint32_t IndexCursor::readU32() {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | table_[position_ + static_cast<std::size_t>(i)];
    position_ += 4;
    return value;
}

std::string IndexCursor::readString(std::size_t length) {
    std::string text(reinterpret_cast<const char*>(table_ + position_), length);
    position_ += length;
    return text;
}

void IndexCursor::parseFileTable(kestran_db::KestranDB& set, const std::string& prefix) {
    while (position_ != size_) {
        // Every check comes before the first field is taken, so a damaged record
        // leaves nothing behind.
        if (bytesLeft() < kLengthFieldSize) throw Failure(kEntryPastEnd);
        const std::uint16_t recordLength = readU16();
        if (recordLength > kMaxRecordLength) throw Failure(kEntryLengthExceeds260);
        if (recordLength < kRecordFixedLength) throw Failure(kEntryTooShort);
        if (recordLength > bytesLeft()) throw Failure(kEntryPastEnd);
        // A record without a name would name the prefix itself.
        if (recordLength == kRecordFixedLength) throw Failure(kBadIndex);

        const std::uint32_t sizeReal = readU32();
        const std::uint32_t sizeCompressed = readU32();
        const std::uint32_t crc = readU32();
        std::string name = readString(recordLength - kRecordFixedLength);
        lowerCaseAscii(name);

        const bool isDir = name.back() == kSeparator;
        if (isDir) name.pop_back();
        const std::string path = prefix + name;

        FileLocation location;
        location.offset = readU32();
        location.isCompressed = !isDir && sizeReal != sizeCompressed;
        location.sizeCompressed = sizeCompressed;
        location.sizeReal = sizeReal;
        location.crc = crc;
        location.archive = archive_;

        kestran_db::FileNode& node = set.nodeAt(path);
        node.locations.push_back(location);
        node.isDir = isDir;
        const std::size_t cut = path.rfind(kSeparator);
        node.name = cut == std::string::npos ? path : path.substr(cut + 1);
    }
}

}  // namespace kestran
