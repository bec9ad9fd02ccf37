// The file table parser alone: arbitrary decoded records into a merged tree.
//
// Input: the decoded file table.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "archive/file_table.h"
#include "common/failure.h"
#include "fuzz_support.h"
#include "installation/kestran_db.h"

namespace {
constexpr std::size_t kMaxInput = 256 * 1024;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxInput) return -1;
    kestran_db::KestranDB set("C:\\Game");
    set.archives().resize(1);
    const kestran_db::ArchiveFile& archive = set.archives().front();
    const std::string prefix = "\\FUZZ\\";

    // Record by record first: each one fits the table and has a name.
    std::vector<std::uint8_t> table(data, data + size);
    kestran::IndexCursor records(table);
    kestran::FileTableRecord record;
    std::size_t count = 0;
    std::size_t pathBytes = 0;
    std::set<std::string> named;
    bool damaged = false;
    try {
        while (records.nextRecord(record)) {
            ++count;
            pathBytes += prefix.size() + record.name.size();
            named.insert(prefix + std::string(record.name));
            FUZZ_CHECK(records.position() <= size);
            FUZZ_CHECK(record.name.size() <= kestran::kMaxRecordLength - kestran::kRecordFixedLength);
            FUZZ_CHECK(!record.isDir || !record.isCompressed);
        }
        FUZZ_CHECK(records.position() == size);
    } catch (const kestran::Failure&) {
        damaged = true;
        FUZZ_CHECK(records.position() < size);
    }

    // Then the whole table into the tree: all of it, or nothing.
    kestran::IndexCursor cursor(table);
    try {
        set.enterRecords(cursor.parseFileTable(), archive, prefix);
    } catch (const kestran::Failure& failure) {
        // Sound records fail only when they imply too many directories.
        FUZZ_CHECK(damaged || std::string(failure.what()) == kestran_db::kTooManyDirectories);
        FUZZ_CHECK(set.tree().empty());
        return 0;
    }
    FUZZ_CHECK(!damaged);
    std::size_t locations = 0;
    for (const auto& entry : set.tree()) {
        FUZZ_CHECK(entry.first.compare(0, prefix.size(), prefix) == 0);
        locations += entry.second.locations().size();
        for (const kestran_db::FileLocation& location : entry.second.locations())
            FUZZ_CHECK(location.archive == &archive);
    }
    FUZZ_CHECK(locations == count);

    // The directories completion adds stay within what the table paid for.
    set.completeTree();
    std::size_t impliedBytes = 0;
    for (const auto& entry : set.tree()) {
        if (!entry.first.empty() && named.count(entry.first) == 0) impliedBytes += entry.first.size();
    }
    FUZZ_CHECK(impliedBytes <= kestran_db::kImpliedDirectoryFactor * pathBytes + kestran_db::kImpliedDirectorySlack);
    return 0;
}
