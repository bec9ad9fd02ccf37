#include "archive/file_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/failure.h"
#include "support/archive_builder.h"

namespace kestran {
namespace {

using testing::Bytes;

TEST(FileTableRecords, EveryFieldOfARecordIsRead) {
    Bytes table = testing::encodeRecord({"Maps\\Start.TXT", 10, 6, 0xCAFEBABE, 0x01020304});
    testing::append(table, testing::encodeRecord({"Sounds\\", 50, 20, 1, 2}));
    IndexCursor cursor(table);
    const std::vector<FileTableRecord> records = cursor.parseFileTable();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].name, "maps\\start.txt");
    EXPECT_FALSE(records[0].isDir);
    EXPECT_TRUE(records[0].isCompressed);
    EXPECT_EQ(records[0].sizeReal, 10u);
    EXPECT_EQ(records[0].sizeCompressed, 6u);
    EXPECT_EQ(records[0].crc, 0xCAFEBABEu);
    EXPECT_EQ(records[0].offset, 0x01020304u);
    // A directory record loses its trailing backslash and is never compressed.
    EXPECT_EQ(records[1].name, "sounds");
    EXPECT_TRUE(records[1].isDir);
    EXPECT_FALSE(records[1].isCompressed);
    EXPECT_EQ(cursor.position(), table.size());
}

TEST(FileTableRecords, ADamagedRecordStopsTheCursorWhereItWas) {
    Bytes table = testing::encodeRecord({"good.txt", 1, 1, 0, 0});
    const std::size_t good = table.size();
    testing::append(table, testing::rawRecord(261, Bytes(261, 'x')));
    IndexCursor cursor(table);
    FileTableRecord record;
    ASSERT_TRUE(cursor.nextRecord(record));
    try {
        cursor.nextRecord(record);
        ADD_FAILURE() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_STREQ(failure.what(), "entry length exceeds 260");
        EXPECT_EQ(failure.kind(), FailureKind::Damaged);
    }
    EXPECT_EQ(cursor.position(), good);
    // The whole table is taken or nothing.
    EXPECT_THROW(IndexCursor(table).parseFileTable(), Failure);
}

}  // namespace
}  // namespace kestran
