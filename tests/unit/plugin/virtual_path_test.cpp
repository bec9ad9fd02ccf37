#include "plugin/virtual_path.h"

#include <gtest/gtest.h>

namespace kestran::plugin {
namespace {

struct SplitCase {
    const char* path;
    bool matches;
    const char* name;
};

TEST(VirtualPath, SplitTakesTheTextUpToTheSecondBackslash) {
    const SplitCase cases[] = {
        {"\\ARNA\\levels\\l01", true, "ARNA"}, {"\\ARNA", true, "ARNA"}, {"\\ARNA\\", true, "ARNA"},
        {"\\My Game\\x", true, "My Game"},     {"\\", true, ""},         {"\\\\levels", true, ""},
        {"ARNA\\levels", false, ""},           {"", false, ""},          {"/ARNA/levels", false, ""},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.path);
        const auto name = splitVirtualPath(c.path);
        ASSERT_EQ(name.has_value(), c.matches);
        if (c.matches) {
            EXPECT_EQ(*name, c.name);
        }
    }
}

TEST(VirtualPath, OnlyOneTrailingBackslashIsDropped) {
    EXPECT_EQ(withoutTrailingSeparator("\\ARNA\\"), "\\ARNA");
    EXPECT_EQ(withoutTrailingSeparator("\\ARNA\\\\"), "\\ARNA\\");
    EXPECT_EQ(withoutTrailingSeparator("\\ARNA"), "\\ARNA");
    EXPECT_EQ(withoutTrailingSeparator("\\"), "\\");
    EXPECT_EQ(withoutTrailingSeparator(""), "");
    EXPECT_EQ(installationPrefix("ARNA"), "\\ARNA\\");
}

}  // namespace
}  // namespace kestran::plugin
