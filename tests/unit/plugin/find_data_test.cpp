#include "plugin/find_data.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "plugin/find_handle.h"

namespace kestran::plugin {
namespace {

constexpr char kGuard = '\x5A';
const std::string kRootName = "K.E.S.T.R.A.N. db explorer";

TEST(CopyBounded, CutsToTheBufferAndNeverWritesPastIt) {
    struct Case {
        std::size_t size;
        std::string expected;
    };
    const Case cases[] = {
        {260, kRootName}, {27, kRootName}, {26, kRootName.substr(0, 25)}, {10, kRootName.substr(0, 9)}, {1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        std::vector<char> buffer(c.size + 8, kGuard);
        copyBounded(buffer.data(), kRootName, c.size);
        EXPECT_EQ(std::string(buffer.data()), c.expected);
        for (std::size_t i = c.size; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], kGuard) << "byte " << i;
    }
    char untouched = kGuard;
    copyBounded(&untouched, kRootName, 0);
    EXPECT_EQ(untouched, kGuard);
}

TEST(MakeFindData, FillsOnlyAttributesTimeSizeAndName) {
    const FILETIME time{0x89ABCDEF, 0x01D00000};
    const WIN32_FIND_DATAA file = makeFindData("wall.dds", false, 1234, time);
    WIN32_FIND_DATAA expected;
    std::memset(&expected, 0, sizeof expected);
    expected.ftLastWriteTime = time;
    expected.nFileSizeLow = 1234;
    std::strcpy(expected.cFileName, "wall.dds");
    EXPECT_EQ(std::memcmp(&file, &expected, sizeof file), 0);

    const WIN32_FIND_DATAA dir = makeFindData("textures", true, 99, time);
    // Copied out: the record is byte-packed on Linux, its fields may be misaligned.
    const DWORD attributes = dir.dwFileAttributes, sizeLow = dir.nFileSizeLow, sizeHigh = dir.nFileSizeHigh;
    EXPECT_EQ(attributes, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(sizeLow, 0u);
    EXPECT_EQ(sizeHigh, 0u);
    EXPECT_STREQ(dir.cFileName, "textures");
}

TEST(MakeFindData, NamesLongerThan259AreCut) {
    const FILETIME time{};
    EXPECT_EQ(std::string(makeFindData(std::string(259, 'a'), false, 0, time).cFileName), std::string(259, 'a'));
    EXPECT_EQ(std::string(makeFindData(std::string(260, 'b'), false, 0, time).cFileName), std::string(259, 'b'));
    EXPECT_EQ(std::string(makeFindData(std::string(4000, 'c'), false, 0, time).cFileName), std::string(259, 'c'));
}

TEST(FindHandle, HandsOutEveryRecordOnceThenLeavesTheRecordAlone) {
    const FILETIME time{};
    FindHandle handle;
    WIN32_FIND_DATAA out = makeFindData("sentinel", false, 7, time);
    EXPECT_FALSE(handle.start(out));
    EXPECT_STREQ(out.cFileName, "sentinel");

    for (const char* name : {"a", "b", "c"}) handle.append(makeFindData(name, false, 0, time));
    std::vector<std::string> seen;
    ASSERT_TRUE(handle.start(out));
    seen.push_back(out.cFileName);
    while (handle.next(out)) seen.push_back(out.cFileName);
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_FALSE(handle.next(out));
    EXPECT_STREQ(out.cFileName, "c");
}

}  // namespace
}  // namespace kestran::plugin
