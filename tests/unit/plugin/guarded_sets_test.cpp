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

TEST(GuardedSets, FailedLoadIsPassedOnAndStoresNothing) {
    GuardedSets sets([](const std::string&, std::int32_t, const std::string&) -> std::shared_ptr<kestran_db::KestranDB> {
        throw Failure("error");
    });
    EXPECT_THROW(sets.findOrLoad("ARNA", Installation{"/a", 2}), Failure);
    EXPECT_EQ(sets.find("ARNA"), nullptr);
    EXPECT_EQ(sets.size(), 0u);
}

}  // namespace
}  // namespace kestran::plugin
