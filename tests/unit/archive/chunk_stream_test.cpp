#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "archive/chunk_stream.h"
#include "common/failure.h"
#include "support/archive_builder.h"

namespace kestran {
namespace {

using testing::ArchiveBuilder;
using testing::Bytes;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Several builds may run this suite at once: each run gets a file of its own.
std::string uniqueTempPath() {
    std::random_device random;
    const unsigned long long token = (static_cast<unsigned long long>(random()) << 32) ^ random();
    return ::testing::TempDir() + "chunk_stream_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
           "_" + std::to_string(token) + ".db0";
}

// Every archive is read from a real file, as the loader reads it: seeking past the end
// of a file succeeds, where a string stream would refuse.
class ChunkStream : public ::testing::Test {
protected:
    ChunkStream() : path(uniqueTempPath()) { fresh(); }
    ~ChunkStream() override { std::remove(path.c_str()); }

    void fresh() {
        records.clear();
        tables.clear();
    }

    // Reads the archive's records, by "\ARNA\" and name; returns where the stream was left.
    std::streamoff read(const Bytes& archive, std::uint32_t versionCode = 2) {
        testing::writeFile(path, archive);
        std::ifstream stream(path, std::ios::binary);
        tables.push_back(readArchiveIndex(stream, versionCode));
        for (const FileTableRecord& record : tables.back().records)
            records.emplace("\\ARNA\\" + std::string(record.name), record);
        return stream.tellg();
    }

    std::string failureOf(const Bytes& archive, std::uint32_t versionCode = 2) {
        try {
            read(archive, versionCode);
        } catch (const Failure& failure) {
            return failure.what();
        }
        return "no failure";
    }

    const std::map<std::string, FileTableRecord>& tree() { return records; }

    std::string path;
    std::map<std::string, FileTableRecord> records;
    std::vector<ArchiveTable> tables;  // the records' names point into them
};

TEST_F(ChunkStream, ReadsMembersOfEveryVersionCode) {
    const Bytes stored = text("stored contents");
    const Bytes packable(3000, 'z');
    for (std::uint32_t versionCode : {0u, 1u, 2u, 3u}) {
        SCOPED_TRACE(versionCode);
        fresh();
        ArchiveBuilder builder(versionCode);
        builder.storedFile("Docs\\Readme.TXT", stored).compressedFile("big.bin", packable).directory("Docs");
        const Bytes archive = builder.build();
        read(archive, versionCode);

        ASSERT_EQ(tree().size(), 3u);
        const FileTableRecord& readme = tree().at("\\ARNA\\docs\\readme.txt");
        EXPECT_FALSE(readme.isCompressed);
        EXPECT_EQ(readme.crc, testing::contentsCrc(stored));
        EXPECT_EQ(Bytes(archive.begin() + readme.offset, archive.begin() + readme.offset + readme.sizeReal), stored);

        const FileTableRecord& big = tree().at("\\ARNA\\big.bin");
        const Bytes packed = testing::compressLzo(packable);
        EXPECT_TRUE(big.isCompressed);
        EXPECT_EQ(big.sizeReal, packable.size());
        EXPECT_EQ(Bytes(archive.begin() + big.offset, archive.begin() + big.offset + big.sizeCompressed), packed);

        EXPECT_TRUE(tree().at("\\ARNA\\docs").isDir);
    }
}

TEST_F(ChunkStream, OnlyTheOldLayoutsAreUnscrambled) {
    // A plain header chunk of an empty table. Unscrambled, its zero unpacked size turns
    // into a size its empty table cannot supply.
    const Bytes plainEmpty = testing::chunk(kHeaderChunkId, Bytes(4, 0));
    for (std::uint32_t versionCode : {2u, 3u, 4u, 0xFFFFFFFFu})
        EXPECT_EQ(failureOf(plainEmpty, versionCode), "no failure");
    for (std::uint32_t versionCode : {0u, 1u}) EXPECT_EQ(failureOf(plainEmpty, versionCode), "bitstack out of range");

    // The same chunk scrambled for variant 0 reads only as VersionCode 0.
    Bytes scrambled(4, 0);
    testing::scrambleForVersion(scrambled, 0);
    EXPECT_NE(scrambled, Bytes(4, 0));
    EXPECT_EQ(failureOf(testing::chunk(kHeaderChunkId, scrambled), 0), "no failure");
    EXPECT_EQ(failureOf(testing::chunk(kHeaderChunkId, scrambled), 2), "bitstack out of range");
}

TEST_F(ChunkStream, HeaderChunkIsFoundAfterAtMostOneHundredChunks) {
    ArchiveBuilder hundred;
    hundred.fillerChunks(99, 3).storedFile("a.txt", text("abc"));
    ASSERT_EQ(hundred.chunksBeforeHeader(), 100);
    const Bytes archive = hundred.build();
    const std::streamoff end = read(archive);
    EXPECT_EQ(tree().count("\\ARNA\\a.txt"), 1u);
    EXPECT_EQ(end, static_cast<std::streamoff>(archive.size()));

    ArchiveBuilder tooMany;
    tooMany.fillerChunks(101, 3).record({"a.txt", 1, 1, 0, 0});
    ASSERT_EQ(tooMany.chunksBeforeHeader(), 101);
    fresh();
    EXPECT_EQ(failureOf(tooMany.build()), "to many seekg!");
    EXPECT_TRUE(tree().empty());
}

TEST_F(ChunkStream, OnlyTheTypeBitsOfTheChunkIdCount) {
    ArchiveBuilder builder;
    builder.headerChunkId(0x80000001).fillerChunks(2).record({"a.txt", 1, 1, 0, 0});
    read(builder.build());
    EXPECT_EQ(tree().count("\\ARNA\\a.txt"), 1u);

    // Type 0x40000001 is not the header chunk: it is passed over like any other.
    Bytes archive = testing::chunk(0x40000001, Bytes(4, 0));
    testing::append(archive, testing::chunk(kHeaderChunkId, Bytes(4, 0)));
    EXPECT_EQ(read(archive), static_cast<std::streamoff>(archive.size()));
}

TEST_F(ChunkStream, HeaderChunkAloneAndWhatFollowsIsNeverRead) {
    // Four payload bytes, unpacked size 0: an empty table.
    Bytes archive = testing::chunk(kHeaderChunkId, Bytes(4, 0));
    const std::streamoff headerEnd = static_cast<std::streamoff>(archive.size());
    testing::append(archive, testing::chunkHeader(7, -1000));
    EXPECT_EQ(read(archive), headerEnd);
    EXPECT_TRUE(tree().empty());
}

TEST_F(ChunkStream, BrokenChunkWalksFailWithTheirMessages) {
    Bytes pastEnd = testing::chunkHeader(0, 1000);
    Bytes negativeBeforeStart = testing::chunkHeader(0, 4);
    testing::append(negativeBeforeStart, Bytes(4, 0));
    testing::append(negativeBeforeStart, testing::chunkHeader(0, -100));
    // A chunk that steps back onto the one before it loops until the limit.
    Bytes backwards = testing::chunkHeader(0, 0);
    testing::append(backwards, testing::chunkHeader(0, -16));

    struct Case {
        const char* what;
        Bytes archive;
        const char* message;
    };
    const Case cases[] = {
        {"empty file", {}, "error reading flag field"},
        {"half a chunk id", Bytes(2, 0), "error reading flag field"},
        {"chunk id only", Bytes(4, 0), "error reading offset field"},
        {"chunk id and half a size", Bytes(6, 0), "error reading offset field"},
        {"skip past the end", pastEnd, "error reading flag field"},
        {"skip before the start", negativeBeforeStart, "seek error!"},
        {"skip backwards forever", backwards, "to many seekg!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(failureOf(c.archive), c.message);
    }
}

TEST_F(ChunkStream, HeaderChunkSizeIsCheckedBeforeAnythingIsAllocated) {
    ArchiveBuilder builder;
    builder.storedFile("a.txt", text("abc"));
    Bytes truncated = builder.build();
    truncated.pop_back();

    Bytes huge = testing::chunkHeader(kHeaderChunkId, INT_MAX);
    testing::append(huge, Bytes(64, 0));

    struct Case {
        const char* what;
        Bytes archive;
        const char* message;
    };
    const Case cases[] = {
        {"payload cut short", truncated, "error reading unpacked index"},
        {"size beyond the file", huge, "error reading unpacked index"},
        {"size 3", testing::chunk(kHeaderChunkId, Bytes(3, 0)), "header chunk too small"},
        {"size 0", testing::chunkHeader(kHeaderChunkId, 0), "header chunk too small"},
        {"size -1", testing::chunkHeader(kHeaderChunkId, -1), "header chunk too small"},
        {"size INT_MIN", testing::chunkHeader(kHeaderChunkId, INT_MIN), "header chunk too small"},
        // Four bytes claim the largest table; nothing is reserved for it.
        {"unpacked size 0xFFFFFFFF", testing::chunk(kHeaderChunkId, Bytes(4, 0xFF)), "bitstack out of range"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(failureOf(c.archive), c.message);
    }
}

TEST_F(ChunkStream, FileTableFailureEntersNothing) {
    ArchiveBuilder builder(0);
    builder.record({"first.txt", 1, 1, 0, 0}).rawBytes(testing::rawRecord(261, Bytes(261, 'x')));
    EXPECT_EQ(failureOf(builder.build(), 0), "entry length exceeds 260");
    EXPECT_TRUE(tree().empty());
}

}  // namespace
}  // namespace kestran
