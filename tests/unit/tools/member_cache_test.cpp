// The mount's cache of unpacked members, and one open file's reads.
#include "member_cache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <boost/filesystem.hpp>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "common/failure.h"
#include "installation/loader.h"
#include "open_member.h"
#include "unit/installation/installation_fixture.h"

namespace kestran::cli {
namespace {

using kestran::testing::ArchiveBuilder;
using kestran::testing::Bytes;

constexpr std::size_t kMemberSize = 1000;
constexpr int kMembers = 4;
constexpr std::size_t kStoredSize = 100000;

Bytes memberBytes(int id) {
    Bytes bytes(kMemberSize);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(id * 16 + (i / 50) % 16);
    return bytes;
}

Bytes storedBytes() {
    Bytes bytes(kStoredSize);
    std::uint32_t x = 1;
    for (auto& b : bytes) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    return bytes;
}

// Four compressed members of 1000 bytes each, and a stored one of 100,000.
class MemberCacheTest : public kestran_db::testing::TempFolder {
protected:
    void SetUp() override {
        ArchiveBuilder builder(0);
        for (int id = 0; id < kMembers; ++id) builder.compressedFile("m" + std::to_string(id), memberBytes(id));
        builder.storedFile("stored", storedBytes());
        writeArchive("a.db0", builder);
        db = kestran_db::loadInstallation(root.string(), 0, "\\ARNA\\");
        ASSERT_TRUE(db);
        for (int id = 0; id < kMembers; ++id) {
            const kestran_db::FileNode* node = db->findNode("\\ARNA\\m" + std::to_string(id));
            ASSERT_NE(node, nullptr);
            ASSERT_TRUE(node->winner()->isCompressed);
            members.push_back(node->winner());
        }
        stored = db->findNode("\\ARNA\\stored")->winner();
    }

    // Gets member id through cache, counting the unpackings.
    std::shared_ptr<const MemberCache::Member> get(MemberCache& cache, int id) {
        const kestran_db::FileLocation* location = members[static_cast<std::size_t>(id)];
        return cache.get(location, [this, location, id] {
            ++unpacked[static_cast<std::size_t>(id)];
            return MemberCache::Member(*location->archive, *location);
        });
    }

    std::shared_ptr<kestran_db::KestranDB> db;
    std::vector<const kestran_db::FileLocation*> members;
    const kestran_db::FileLocation* stored = nullptr;
    std::atomic<int> unpacked[kMembers] = {};
};

TEST_F(MemberCacheTest, KeepsMembersWithinItsBudgetAndDropsTheLeastRecentlyUsedFirst) {
    MemberCache cache(2 * kMemberSize + 500);
    const auto m0 = get(cache, 0);
    EXPECT_EQ(Bytes(m0->data(), m0->data() + m0->sizeReal()), memberBytes(0));
    get(cache, 1);
    get(cache, 0);  // 0 is now the most recent
    EXPECT_EQ(cache.keptBytes(), 2 * kMemberSize);
    get(cache, 2);  // drops 1
    EXPECT_EQ(cache.keptBytes(), 2 * kMemberSize);
    get(cache, 0);
    get(cache, 2);
    EXPECT_EQ(unpacked[0], 1);
    EXPECT_EQ(unpacked[2], 1);
    get(cache, 1);
    EXPECT_EQ(unpacked[1], 2);
}

TEST_F(MemberCacheTest, ThreadsAskingAtOnceShareOneUnpacking) {
    MemberCache cache(kMemberSize * kMembers);
    std::vector<std::shared_ptr<const MemberCache::Member>> got(8);
    std::atomic<int> unpackings{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < got.size(); ++t) {
        threads.emplace_back([&, t] {
            while (!go) std::this_thread::yield();
            const kestran_db::FileLocation* location = members[0];
            got[t] = cache.get(location, [&] {
                ++unpackings;
                // Slow enough that the other threads come while it runs.
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                return MemberCache::Member(*location->archive, *location);
            });
        });
    }
    go = true;
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(unpackings, 1);
    for (const auto& member : got) EXPECT_EQ(member, got[0]);
}

TEST_F(MemberCacheTest, AFailedUnpackingReachesEveryWaiterAndIsTriedAgainNextTime) {
    MemberCache cache(kMemberSize * kMembers);
    std::atomic<int> failures{0};
    std::atomic<int> attempts{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            try {
                cache.get(members[0], [&]() -> MemberCache::Member {
                    ++attempts;
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    throw Failure(FailureKind::Damaged, "damaged");
                });
            } catch (const Failure&) {
                ++failures;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, 4);
    EXPECT_GE(attempts, 1);
    EXPECT_EQ(cache.keptBytes(), 0u);
    EXPECT_EQ(Bytes(get(cache, 0)->data(), get(cache, 0)->data() + kMemberSize), memberBytes(0));
    EXPECT_EQ(unpacked[0], 1);
}

TEST_F(MemberCacheTest, AMemberLargerThanTheBudgetIsHandedOutAndTakenBackFromItsHolder) {
    MemberCache cache(kMemberSize / 2);
    std::shared_ptr<const MemberCache::Member> held = get(cache, 0);
    EXPECT_EQ(cache.keptBytes(), 0u);
    EXPECT_EQ(get(cache, 0), held);  // from its holder, not unpacked again
    EXPECT_EQ(unpacked[0], 1);
    held.reset();
    get(cache, 0);
    EXPECT_EQ(unpacked[0], 2);
}

TEST_F(MemberCacheTest, OpenFilesReadAnyRangeAndFailOnceTheArchiveEndsBeforeTheirBytes) {
    MemberCache cache(kMemberSize * kMembers);
    const Bytes expected = storedBytes();
    std::optional<OpenMember> file(std::in_place, *stored, cache);
    OpenMember packed(*members[3], cache);
    const struct {
        std::uint64_t offset;
        std::size_t length;
        std::size_t got;
    } cases[] = {
        {0, 4096, 4096},
        {12345, 777, 777},
        {kStoredSize - 10, 4096, 10},
        {kStoredSize, 10, 0},
        {std::uint64_t{1} << 40, 10, 0},
    };
    std::vector<std::uint8_t> buffer(4096);
    std::shared_ptr<const MemberCache::Member> holder;
    for (const auto& c : cases) {
        const auto bytes = file->read(c.offset, c.length, buffer.data(), holder);
        ASSERT_EQ(bytes.size(), c.got) << c.offset;
        if (c.got != 0) {
            EXPECT_TRUE(
                std::equal(bytes.begin(), bytes.end(), expected.begin() + static_cast<std::ptrdiff_t>(c.offset)))
                << c.offset;
        }
    }
    const auto part = packed.read(990, 4096, buffer.data(), holder);
    ASSERT_EQ(part.size(), 10u);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), memberBytes(3).begin() + 990));

    // The archive shrinks to half of the stored member: what lies beyond fails.
    boost::filesystem::resize_file(root / "a.db0", stored->offset + kStoredSize / 2);
    EXPECT_EQ(file->read(0, 100, buffer.data(), holder).size(), 100u);
    EXPECT_THROW(file->read(kStoredSize - 100, 100, buffer.data(), holder), Failure);
    // An archive that is gone cannot be opened. Windows keeps a removed file
    // that is still open until its last handle closes, so close ours first.
    file.reset();
    boost::filesystem::remove(root / "a.db0");
    EXPECT_THROW(OpenMember(*stored, cache), Failure);
    EXPECT_THROW(OpenMember(*members[2], cache).read(0, 10, buffer.data(), holder), Failure);
}

// A compressed copy's bytes stay valid for whoever holds them after the open ends (a
// release on another thread while a read's reply is still being sent), even when the
// cache keeps nothing.
TEST_F(MemberCacheTest, ReadBytesOutliveTheirOpenWhileHeld) {
    MemberCache cache(0);
    std::vector<std::uint8_t> buffer(4096);
    std::shared_ptr<const MemberCache::Member> holder;
    std::optional<OpenMember> packed(std::in_place, *members[3], cache);
    const kestran::Span<const std::uint8_t> bytes = packed->read(100, 500, buffer.data(), holder);
    packed.reset();
    ASSERT_EQ(bytes.size(), 500u);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), memberBytes(3).begin() + 100));
}

}  // namespace
}  // namespace kestran::cli
