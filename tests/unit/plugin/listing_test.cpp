#include "plugin/listing.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "common/failure.h"
#include "memory_set.h"

namespace kestran::plugin {
namespace {

using testing::MemorySet;

// Names handed over as their bytes (names that are not UTF-8 have cases in the host suite).
const kestran_db::ShownNames kAsBytes{};

constexpr std::uint64_t kTimeA = 130000000000000000ULL;
constexpr std::uint64_t kTimeB = 131000000000000000ULL;
const FILETIME kNow{0x11112222, 0x01D33333};

struct Entry {
    std::string name;
    bool isDir;
    std::uint32_t size;
    std::uint64_t ticks;
    bool operator==(const Entry& o) const {
        return name == o.name && isDir == o.isDir && size == o.size && ticks == o.ticks;
    }
};

void PrintTo(const Entry& e, std::ostream* os) {
    *os << e.name << (e.isDir ? "/" : "") << " " << e.size << " @" << e.ticks;
}

std::vector<Entry> entries(const Listing& listing) {
    std::vector<Entry> out;
    if (!listing.handle) return out;
    for (const WIN32_FIND_DATAA& r : listing.handle->records())
        out.push_back({r.cFileName, (r.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, r.nFileSizeLow,
                       toTicks(fromHostTime(r.ftLastWriteTime))});
    return out;
}

// ARNA: two archives; wall.dds is in both with different sizes, and the top directory
// mixes files and directories.
class ListingTest : public ::testing::Test {
protected:
    ListingTest()
        : sets([this](const std::string& root, std::int32_t versionCode, const std::string& prefix) {
              ++loads[root];
              lastPrefix = prefix;
              lastVersionCode = versionCode;
              if (root == "/broken") throw Failure(FailureKind::Damaged, "bad index");
              return MemorySet()
                  .archive("/games/arna/a.db0", kTimeA)
                  .archive("/games/arna/b.db1", kTimeB)
                  .record(0, "\\ARNA\\levels\\l01\\")
                  .record(0, "\\ARNA\\config\\user.ltx", 10)
                  .record(0, "\\ARNA\\a.txt", 3)
                  .record(0, "\\ARNA\\textures\\wall.dds", 100)
                  .record(1, "\\ARNA\\textures\\wall.dds", 200)
                  .build();
          }) {
        installations["ARNA"] = Installation{"/games/arna", 2};
        installations["BROKEN"] = Installation{"/broken", 0};
    }

    InstallationTable installations;
    std::map<std::string, int> loads;
    std::string lastPrefix;
    std::int32_t lastVersionCode = -1;
    GuardedSets sets;
};

TEST_F(ListingTest, RootListsEveryInstallationInByteOrderWithOneTime) {
    installations["VESK"] = Installation{"/v", 1};
    installations["TOLM"] = Installation{"/t", 3};
    const Listing listing = listPath("\\", installations, sets, kAsBytes, kNow);
    const std::uint64_t now = toTicks(fromHostTime(kNow));
    EXPECT_EQ(entries(listing),
              (std::vector<Entry>{
                  {"ARNA", true, 0, now}, {"BROKEN", true, 0, now}, {"TOLM", true, 0, now}, {"VESK", true, 0, now}}));
    EXPECT_FALSE(listing.lastError);
    EXPECT_TRUE(loads.empty());
}

TEST_F(ListingTest, EmptyRootGivesNoHandleAndNoLastError) {
    const Listing listing = listPath("\\", InstallationTable{}, sets, kAsBytes, kNow);
    EXPECT_FALSE(listing.handle);
    EXPECT_FALSE(listing.lastError);
}

TEST_F(ListingTest, FirstListingLoadsOnceAndListsFilesAndDirectoriesInByteOrder) {
    const Listing top = listPath("\\ARNA", installations, sets, kAsBytes, kNow);
    EXPECT_EQ(entries(top), (std::vector<Entry>{{"a.txt", false, 3, kTimeA},
                                                {"config", true, 0, kTimeA},
                                                {"levels", true, 0, kTimeA},
                                                {"textures", true, 0, kTimeA}}));
    EXPECT_EQ(lastPrefix, "\\ARNA\\");
    EXPECT_EQ(lastVersionCode, 2);

    // The highest-priority occurrence gives size and time; no archive is read again.
    EXPECT_EQ(entries(listPath("\\ARNA\\textures", installations, sets, kAsBytes, kNow)),
              (std::vector<Entry>{{"wall.dds", false, 200, kTimeB}}));
    EXPECT_EQ(entries(listPath("\\ARNA\\", installations, sets, kAsBytes, kNow)), entries(top));
    EXPECT_EQ(loads["/games/arna"], 1);
}

TEST_F(ListingTest, NothingToListGivesNoHandle) {
    struct Case {
        const char* path;
        std::optional<DWORD> lastError;
    };
    const Case cases[] = {
        {"\\XYZ", ERROR_NO_MORE_FILES},         // not configured
        {"ARNA\\textures", std::nullopt},       // outside the scheme
        {"\\ARNA\\a.txt", std::nullopt},        // a file
        {"\\ARNA\\missing", std::nullopt},      // not in the tree
        {"\\ARNA\\levels\\l01", std::nullopt},  // a directory without children
        {"\\ARNA\\\\", std::nullopt},           // one backslash dropped, "\ARNA\" is no node
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const Listing listing = listPath(c.path, installations, sets, kAsBytes, kNow);
        EXPECT_FALSE(listing.handle);
        EXPECT_EQ(listing.lastError, c.lastError);
    }
    // Listing a path the tree does not hold leaves the tree as it was.
    EXPECT_FALSE(sets.find("ARNA")->hasNode("\\ARNA\\missing"));
}

TEST_F(ListingTest, FailedLoadStoresNothingAndIsTriedAgainEachTime) {
    for (int attempt = 1; attempt <= 3; ++attempt) {
        const Listing listing = listPath("\\BROKEN", installations, sets, kAsBytes, kNow);
        EXPECT_FALSE(listing.handle);
        EXPECT_EQ(listing.lastError, ERROR_NO_MORE_FILES);
        EXPECT_EQ(loads["/broken"], attempt);
    }
    EXPECT_EQ(sets.find("BROKEN"), nullptr);
    EXPECT_EQ(sets.size(), 0u);
}

}  // namespace
}  // namespace kestran::plugin
