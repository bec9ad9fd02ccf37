#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "archive/file_table.h"
#include "common/failure.h"
#include "installation/kestran_db.h"
#include "support/archive_builder.h"

namespace kestran {
namespace {

using testing::Bytes;
using testing::TableRecord;

Bytes tableOf(const std::vector<TableRecord>& records) {
    Bytes table;
    for (const TableRecord& r : records) testing::append(table, testing::encodeRecord(r));
    return table;
}

class FileTable : public ::testing::Test {
protected:
    FileTable() { fresh(); }

    // Starts over with an empty set of two archives.
    void fresh() {
        set = std::make_unique<kestran_db::KestranDB>("C:\\Game");
        set->archives().resize(2);
    }

    void parse(const Bytes& table, std::size_t archive = 0, const std::string& prefix = "\\ARNA\\") {
        Bytes bytes = table;
        set->enterRecords(IndexCursor(bytes).parseFileTable(), set->archives()[archive], prefix);
    }

    std::string failureOf(const Bytes& table) {
        try {
            parse(table);
        } catch (const Failure& failure) {
            return failure.what();
        }
        return "no failure";
    }

    const kestran_db::FileNode& node(const std::string& path) { return set->tree().at(path); }
    kestran_db::TreeView tree() { return set->tree(); }
    const kestran_db::ArchiveFile* archive(std::size_t index) { return &set->archives()[index]; }

    std::unique_ptr<kestran_db::KestranDB> set;
};

TEST_F(FileTable, RecordBecomesNodeWithItsLocation) {
    parse(tableOf({{"Maps\\Start.TXT", 10, 10, 0xCAFEBABE, 0x01020304}}), 1, "\\ARNA\\");

    // Only the record's own node: no parent, no links, and the prefix keeps its case.
    ASSERT_EQ(tree().size(), 1u);
    const kestran_db::FileNode& start = node("\\ARNA\\maps\\start.txt");
    EXPECT_FALSE(start.isDir());
    EXPECT_EQ(start.name(), "start.txt");
    EXPECT_TRUE(start.children().empty());
    ASSERT_EQ(start.locations().size(), 1u);
    const kestran_db::FileLocation& l = start.locations()[0];
    EXPECT_EQ(l.offset, 0x01020304u);
    EXPECT_FALSE(l.isCompressed);
    EXPECT_EQ(l.sizeCompressed, 10u);
    EXPECT_EQ(l.sizeReal, 10u);
    EXPECT_EQ(l.crc, 0xCAFEBABEu);
    EXPECT_EQ(l.archive, archive(1));
}

TEST_F(FileTable, CompressionFlagAndDirectoryRecords) {
    struct Case {
        const char* name;
        std::uint32_t sizeReal, sizeCompressed;
        const char* path;
        const char* nodeName;
        bool isDir, isCompressed;
    };
    const Case cases[] = {
        {"plain.bin", 5, 5, "\\VESK\\plain.bin", "plain.bin", false, false},
        {"packed.bin", 50, 20, "\\VESK\\packed.bin", "packed.bin", false, true},
        {"grown.bin", 5, 9, "\\VESK\\grown.bin", "grown.bin", false, true},
        {"Sounds\\", 50, 20, "\\VESK\\sounds", "sounds", true, false},
        {"a\\B\\", 0, 0, "\\VESK\\a\\b", "b", true, false},
        // A forward slash is an ordinary byte: not a directory mark, not a separator.
        {"maps/", 3, 3, "\\VESK\\maps/", "maps/", false, false},
        {"x/y.txt", 3, 3, "\\VESK\\x/y.txt", "x/y.txt", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        parse(tableOf({{c.name, c.sizeReal, c.sizeCompressed, 0, 0}}), 0, "\\VESK\\");
        ASSERT_EQ(tree().size(), 1u);
        const kestran_db::FileNode& n = node(c.path);
        EXPECT_EQ(n.name(), c.nodeName);
        EXPECT_EQ(n.isDir(), c.isDir);
        ASSERT_EQ(n.locations().size(), 1u);
        EXPECT_EQ(n.locations()[0].isCompressed, c.isCompressed);
        EXPECT_EQ(n.locations()[0].sizeReal, c.sizeReal);
    }
}

TEST_F(FileTable, LowerCasesOnlyAsciiLetters) {
    // '@' and '[' sit right beside 'A' and 'Z'; bytes from 0x80 up stay as they are.
    parse(tableOf({{"@AZ[`az{\xC0\xC9\xFF", 1, 1, 0, 0}}));
    EXPECT_EQ(tree().begin()->first, "\\ARNA\\@az[`az{\xC0\xC9\xFF");
}

TEST_F(FileTable, SamePathTwiceGathersLocationsInReadingOrder) {
    parse(tableOf({{"a.txt", 1, 1, 0, 11}, {"A.TXT\\", 2, 2, 0, 22}}), 0);
    parse(tableOf({{"a.txt", 3, 3, 0, 33}}), 1);
    const kestran_db::FileNode& a = node("\\ARNA\\a.txt");
    ASSERT_EQ(a.locations().size(), 3u);
    EXPECT_EQ(a.locations()[0].offset, 11u);
    EXPECT_EQ(a.locations()[1].offset, 22u);
    EXPECT_EQ(a.locations()[2].offset, 33u);
    EXPECT_EQ(a.locations()[2].archive, archive(1));
    EXPECT_FALSE(a.isDir());  // the later record decides
}

TEST_F(FileTable, EmptyTableInsertsNothing) {
    parse({});
    EXPECT_TRUE(tree().empty());
}

TEST_F(FileTable, LongestRecordIsAccepted) {
    const std::string name(244, 'n');
    const Bytes table = tableOf({{name, 1, 1, 0, 7}});
    ASSERT_EQ(table[0] | table[1] << 8, 260);
    parse(table);
    EXPECT_EQ(node("\\ARNA\\" + name).locations()[0].offset, 7u);
}

// A record `depth` levels deep below a top directory of its own: every level but the
// last is a directory that only this record implies.
TableRecord deepRecord(const std::string& top, std::size_t depth) {
    std::string name = top;
    for (std::size_t level = 1; level < depth; ++level) name += "\\d";
    return {name, 1, 1, 0, 0};
}

// completeTree makes a node for every implied directory, keyed by its full path: without
// a bound a few kilobytes of table could imply gigabytes of tree.
TEST_F(FileTable, ImpliedDirectoriesMayNotOutweighTheTable) {
    // One record as deep as a name allows: its 121 directories fit the slack.
    parse(tableOf({deepRecord("t", 122)}));
    EXPECT_EQ(tree().size(), 1u);

    // Many records under shared directories imply little.
    fresh();
    std::vector<TableRecord> shared;
    for (int i = 0; i < 3000; ++i) shared.push_back({"textures\\terrain\\t" + std::to_string(i) + ".dds", 1, 1, 0, 0});
    parse(tableOf(shared));
    EXPECT_EQ(tree().size(), 3000u);

    // Twenty records each alone in a chain of 121 directories imply some 300 KB of
    // paths for 5 KB of table: refused, and nothing entered.
    fresh();
    std::vector<TableRecord> deep;
    for (int i = 0; i < 20; ++i) deep.push_back(deepRecord(std::to_string(i), 122));
    EXPECT_EQ(failureOf(tableOf(deep)), "index implies too many directories");
    EXPECT_TRUE(tree().empty());

    // A table that names each of those directories itself is fine, and the directories
    // it brought are paid for: the deep records can follow in another table.
    fresh();
    std::vector<TableRecord> directories;
    for (int i = 0; i < 20; ++i) {
        for (std::size_t depth = 1; depth < 122; ++depth) {
            directories.push_back(deepRecord(std::to_string(i), depth));
            directories.back().name += "\\";
        }
    }
    parse(tableOf(directories));
    parse(tableOf(deep));
    EXPECT_EQ(tree().size(), 20u * 122);
}

TEST_F(FileTable, DamagedTableFailsBeforeAnythingIsApplied) {
    const Bytes good = tableOf({{"good.txt", 1, 1, 0, 0}});
    struct Case {
        const char* what;
        Bytes tail;
        const char* message;
    };
    Bytes fits261 = testing::rawRecord(261, Bytes(261, 'x'));
    Bytes full16 = testing::rawRecord(16, Bytes(16, 0));
    Bytes shortLast = testing::encodeRecord({"last.txt", 1, 1, 0, 0});
    shortLast.pop_back();
    const Case cases[] = {
        {"length 261", fits261, "entry length exceeds 260"},
        {"length 0xFFFF", testing::rawRecord(0xFFFF, {}), "entry length exceeds 260"},
        {"length 15", testing::rawRecord(15, Bytes(15, 'x')), "entry length below 16"},
        {"length 0", testing::rawRecord(0, Bytes(40, 'x')), "entry length below 16"},
        {"empty name", full16, "bad index"},
        {"last record cut short", shortLast, "entry runs past the end of the index"},
        {"lone length byte", Bytes{20}, "entry runs past the end of the index"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        Bytes table = good;
        testing::append(table, c.tail);
        EXPECT_EQ(failureOf(table), c.message);
        EXPECT_TRUE(tree().empty());
    }
}

}  // namespace
}  // namespace kestran
