#include "mount_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command.h"

namespace kestran::cli {
namespace {

TEST(MountOptions, OwnOptionsArePickedOutAndTheRestGoesToFuseInOrder) {
    const MountOptions none = parseMountOptions({}, false);
    EXPECT_FALSE(none.foreground);
    EXPECT_FALSE(none.versions);
    EXPECT_EQ(none.cacheBytes, kDefaultCacheMiB << 20);
    EXPECT_FALSE(none.nameCodec);
    EXPECT_TRUE(none.fuseOptions.empty());

    const MountOptions some =
        parseMountOptions({"allow_other,versions", "cache_size=3,ro,name_encoding=cp1252", "fsname=a\\,b"}, true);
    EXPECT_TRUE(some.foreground);
    EXPECT_TRUE(some.versions);
    EXPECT_EQ(some.cacheBytes, 3u << 20);
    ASSERT_TRUE(some.nameCodec);
    EXPECT_EQ(some.nameCodec->name(), "CP1252");
    EXPECT_EQ(some.fuseOptions, (std::vector<std::string>{"allow_other", "fsname=a,b"}));
    EXPECT_EQ(joinFuseOptions(some.fuseOptions), "allow_other,fsname=a\\,b");

    EXPECT_EQ(parseMountOptions({"cache_size=0"}, false).cacheBytes, 0u);
    EXPECT_EQ(parseMountOptions({"cache_size=5,cache_size=7"}, false).cacheBytes, 7u << 20);
    EXPECT_FALSE(parseMountOptions({"name_encoding=none"}, false).nameCodec->convertsNames());
}

TEST(MountOptions, WrongValuesAndWritingAreUsageErrors) {
    for (const char* wrong :
         {"rw", "cache_size=", "cache_size=-1", "cache_size=1.5", "cache_size=0x10", "cache_size=2000000",
          "cache_size=999999999", "name_encoding=utf-16", "name_encoding=", "versions,,ro", ""}) {
        EXPECT_THROW(parseMountOptions({wrong}, false), UsageError) << wrong;
    }
}

}  // namespace
}  // namespace kestran::cli
