#include "plugin/guarded_sets.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/failure.h"
#include "memory_set.h"

namespace kestran::plugin {
namespace {

using testing::MemorySet;

TEST(GuardedSets, ThreadsThatListOneInstallationAtOnceLoadItOnce) {
    std::atomic<int> loads{0};
    GuardedSets sets([&](const std::string&, std::int32_t, const std::string&) {
        ++loads;
        return MemorySet().archive("/a.db0", 1).record(0, "\\ARNA\\x.txt", 1).build();
    });
    std::vector<std::thread> threads;
    std::vector<std::shared_ptr<const kestran_db::KestranDB>> seen(8);
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] { seen[i] = sets.findOrLoad("ARNA", Installation{"/a", 2}); });
    for (auto& t : threads) t.join();
    EXPECT_EQ(loads.load(), 1);
    for (const auto& set : seen) EXPECT_EQ(set, seen[0]);
}

// Loads of new installations while other threads look sets up. The loader builds in
// memory and opens no stream, so nothing but the sets' own locking orders the threads:
// under ThreadSanitizer an unguarded lookup shows up as a race.
TEST(GuardedSets, LookupsWhileOtherThreadsLoad) {
    constexpr int kLoaders = 3;
    constexpr int kReaders = 3;
    constexpr int kSetsPerLoader = 40;
    GuardedSets sets([](const std::string&, std::int32_t, const std::string& prefix) {
        return MemorySet().archive("/a.db0", 1).record(0, prefix + "x.txt", 1).build();
    });
    sets.findOrLoad("SHARED", Installation{"/s", 2});
    auto nameOf = [](int loader, int index) { return "L" + std::to_string(loader) + "-" + std::to_string(index); };

    std::vector<int> misses(kReaders, 0);
    std::vector<std::thread> threads;
    for (int l = 0; l < kLoaders; ++l)
        threads.emplace_back([&, l] {
            for (int i = 0; i < kSetsPerLoader; ++i) sets.findOrLoad(nameOf(l, i), Installation{"/l", 2});
        });
    for (int r = 0; r < kReaders; ++r)
        threads.emplace_back([&, r] {
            for (int i = 0; i < kSetsPerLoader * 4; ++i) {
                if (!sets.find("SHARED")) ++misses[static_cast<std::size_t>(r)];
                const auto set = sets.find(nameOf(i % kLoaders, i / 4));
                if (set && !set->hasNode("\\" + nameOf(i % kLoaders, i / 4) + "\\x.txt"))
                    ++misses[static_cast<std::size_t>(r)];
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(sets.size(), 1u + kLoaders * kSetsPerLoader);
    EXPECT_EQ(misses, std::vector<int>(kReaders, 0));
}

TEST(GuardedSets, FailedLoadIsPassedOnAndStoresNothing) {
    GuardedSets sets(
        [](const std::string&, std::int32_t, const std::string&) -> std::shared_ptr<kestran_db::KestranDB> {
            throw Failure(FailureKind::Damaged, "error");
        });
    EXPECT_THROW(sets.findOrLoad("ARNA", Installation{"/a", 2}), Failure);
    EXPECT_EQ(sets.find("ARNA"), nullptr);
    EXPECT_EQ(sets.size(), 0u);
}

}  // namespace
}  // namespace kestran::plugin
