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

#include <set>
#include <string_view>
#include <utility>
#include "common/ascii.h"

#include "common/failure.h"
#include "installation/kestran_db.h"

namespace kestran {

const char* const kEntryLengthExceeds260 = "entry length exceeds 260";
const char* const kBadIndex = "bad index";
const char* const kEntryTooShort = "entry length below 16";
const char* const kEntryPastEnd = "entry runs past the end of the index";
const char* const kTooManyDirectories = "index implies too many directories";

namespace {

constexpr std::size_t kLengthFieldSize = 2;
constexpr char kSeparator = '\\';

// Refuses a table whose implied directories would outweigh it. completeTree makes a
// node for every ancestor of every path, keyed by the ancestor's full path, so one
// record 122 levels deep costs 121 nodes and some 15 KB of keys: a header chunk of a
// few kilobytes could fill gigabytes. Real tables share their directories, whose paths
// come to a fraction of the records' own. Ancestors the tree already holds were paid
// for by the archive that put them there, so the climb stops at them.
void checkImpliedDirectories(const std::vector<std::string>& paths, const kestran_db::KestranDB& set) {
    std::size_t pathBytes = 0;
    for (const std::string& path : paths) pathBytes += path.size();
    const std::size_t budget = kImpliedDirectoryFactor * pathBytes + kImpliedDirectorySlack;

    // Views into paths, which outlive the set.
    std::set<std::string_view> implied;
    std::size_t impliedBytes = 0;
    for (const std::string& path : paths) {
        for (std::size_t cut = path.rfind(kSeparator); cut != std::string::npos && cut > 0;
             cut = path.rfind(kSeparator, cut - 1)) {
            const std::string_view ancestor(path.data(), cut);
            // One seen before brings its own ancestors along: they are counted already.
            if (implied.count(ancestor) != 0 || set.hasNode(ancestor) != 0) break;
            implied.insert(ancestor);
            impliedBytes += ancestor.size();
            if (impliedBytes > budget) throw Failure(kTooManyDirectories);
        }
    }
}

}  // namespace

IndexCursor::IndexCursor(const std::uint8_t* table, std::size_t size, const kestran_db::ArchiveFile& archive)
    : table_(table), size_(size), archive_(&archive) {}

IndexCursor::IndexCursor(const std::vector<std::uint8_t>& table, const kestran_db::ArchiveFile& archive)
    : IndexCursor(table.data(), table.size(), archive) {}

// The readers are only called once the record is known to fit in the table.
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

bool IndexCursor::nextRecord(FileTableRecord& record) {
    if (position_ == size_) return false;
    // Every check comes before the first field is taken, so a damaged record leaves
    // the cursor where it was.
    if (bytesLeft() < kLengthFieldSize) throw Failure(kEntryPastEnd);
    const std::uint16_t recordLength = static_cast<std::uint16_t>(table_[position_] | table_[position_ + 1] << 8);
    if (recordLength > kMaxRecordLength) throw Failure(kEntryLengthExceeds260);
    if (recordLength < kRecordFixedLength) throw Failure(kEntryTooShort);
    if (recordLength > bytesLeft() - kLengthFieldSize) throw Failure(kEntryPastEnd);
    // A record without a name would name the prefix itself.
    if (recordLength == kRecordFixedLength) throw Failure(kBadIndex);

    position_ += kLengthFieldSize;
    const std::uint32_t sizeReal = readU32();
    const std::uint32_t sizeCompressed = readU32();
    const std::uint32_t crc = readU32();
    record.name = readString(recordLength - kRecordFixedLength);
    lowerCaseAscii(record.name);
    record.isDir = record.name.back() == kSeparator;
    if (record.isDir) record.name.pop_back();

    record.location.offset = readU32();
    record.location.isCompressed = !record.isDir && sizeReal != sizeCompressed;
    record.location.sizeCompressed = sizeCompressed;
    record.location.sizeReal = sizeReal;
    record.location.crc = crc;
    record.location.archive = archive_;
    return true;
}

std::size_t IndexCursor::parseFileTable(kestran_db::KestranDB& set, const std::string& prefix) {
    std::vector<FileTableRecord> records;
    FileTableRecord record;
    while (nextRecord(record)) records.push_back(std::move(record));

    std::vector<std::string> paths;
    paths.reserve(records.size());
    for (const FileTableRecord& entry : records) paths.push_back(prefix + entry.name);
    checkImpliedDirectories(paths, set);

    for (std::size_t i = 0; i < records.size(); ++i) {
        const FileTableRecord& entry = records[i];
        std::string& path = paths[i];
        const std::size_t cut = path.rfind(kSeparator);
        std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
        kestran_db::FileNode& node = set.nodeAt(std::move(path));
        node.locations.push_back(entry.location);
        node.isDir = entry.isDir;
        node.name = std::move(name);
    }
    return records.size();
}

}  // namespace kestran
