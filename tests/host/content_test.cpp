// What only the Linux plug-in offers Double Commander: copies in the background, and the
// content fields (the plug-in's columns) with their default column set.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "installations.h"

namespace kestran::hosttest {
namespace {

class ContentTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeArna(temp.path() / "arna");
        writeVesk(temp.path() / "vesk");
        host = std::make_unique<PluginHost>(
            temp.path() / "plugin",
            settingsFor({{"ARNA", "3312", temp.path() / "arna"}, {"VESK", "3312", temp.path() / "vesk"}}));
        host->FsInit(0, nullptr, nullptr, nullptr);
        ASSERT_FALSE(host->list("/ARNA").empty());
    }

    TempFolder temp;
    std::unique_ptr<PluginHost> host;
};

TEST_F(ContentTest, CopiesMayRunInTheBackground) { EXPECT_EQ(host->FsGetBackgroundFlags(), BG_DOWNLOAD); }

TEST_F(ContentTest, FieldsWithTheirTypesAndUnits) {
    struct Field {
        std::string name;
        std::string units;
        int type;
    };
    std::vector<Field> fields;
    for (int index = 0; index < 100; ++index) {
        char name[256] = "unchanged";
        char units[256] = "unchanged";
        const int type = host->FsContentGetSupportedField(index, name, units, sizeof name);
        if (type == ft_nomorefields) break;
        fields.push_back({name, units, type});
    }
    ASSERT_EQ(fields.size(), 4u);
    const Field expected[] = {{"Archive", "", ft_string},
                              {"Archives", "", ft_numeric_32},
                              {"Packed size", "", ft_numeric_64},
                              {"Method", "stored|LZO", ft_multiplechoice}};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(fields[i].name, expected[i].name);
        EXPECT_EQ(fields[i].units, expected[i].units);
        EXPECT_EQ(fields[i].type, expected[i].type);
    }
    EXPECT_EQ(host->FsContentGetSupportedField(-1, nullptr, nullptr, 0), ft_nomorefields);

    // Names and units are cut to the host's buffer.
    char name[6] = {};
    char units[6] = {};
    EXPECT_EQ(host->FsContentGetSupportedField(3, name, units, sizeof name), ft_multiplechoice);
    EXPECT_EQ(std::string(name), "Metho");
    EXPECT_EQ(std::string(units), "store");
}

TEST_F(ContentTest, ValuesComeFromTheWinningCopy) {
    struct Case {
        const char* path;
        std::string archive;  // "" for an empty field
        std::int64_t archives;
        std::int64_t packedSize;  // -1: smaller than the file
        const char* method;
    };
    const Case cases[] = {
        {"/ARNA/textures/wall.dds", "resources.db1", 2, static_cast<std::int64_t>(newWall().size()), "stored"},
        {"/ARNA/textures/floor.dds", "resources.db0", 1, -1, "LZO"},
        {"/ARNA/docs/readme.txt", "resources.db0", 1, 7, "stored"},
        {"/ARNA/empty.txt", "resources.db0", 1, 0, "stored"},
        {"/ARNA/damaged.bin", "resources.db0", 1, 32, "LZO"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const PluginHost::Content archive = host->content(c.path, 0);
        EXPECT_EQ(archive.type, ft_string);
        EXPECT_EQ(archive.text, c.archive);
        const PluginHost::Content archives = host->content(c.path, 1);
        EXPECT_EQ(archives.type, ft_numeric_32);
        EXPECT_EQ(archives.number, c.archives);
        const PluginHost::Content packed = host->content(c.path, 2);
        EXPECT_EQ(packed.type, ft_numeric_64);
        if (c.packedSize >= 0) {
            EXPECT_EQ(packed.number, c.packedSize);
        } else {
            EXPECT_GT(packed.number, 0);
            EXPECT_LT(packed.number, static_cast<std::int64_t>(floorTexture().size()));
        }
        const PluginHost::Content method = host->content(c.path, 3);
        EXPECT_EQ(method.type, ft_multiplechoice);
        EXPECT_EQ(method.text, c.method);
    }
}

TEST_F(ContentTest, EntriesWithoutValues) {
    struct Case {
        const char* path;
        int field;
        int type;
    };
    const Case cases[] = {
        {"/ARNA/textures", 0, ft_fieldempty},          // a directory
        {"/ARNA/levels/l01", 3, ft_fieldempty},        // a directory a record names
        {"/ARNA", 1, ft_fieldempty},                   // an installation's top
        {"/", 0, ft_fieldempty},                       // the root
        {"/VESK/notes.txt", 0, ft_fieldempty},         // not loaded: content never loads
        {"/XYZ/notes.txt", 0, ft_fieldempty},          // not configured
        {"/ARNA/missing.txt", 0, ft_fileerror},        // not in the tree
        {"ARNA/docs/readme.txt", 0, ft_fileerror},     // outside the scheme
        {"/ARNA/docs/readme.txt", 4, ft_nosuchfield},  // past the last field
        {"/ARNA/docs/readme.txt", -1, ft_nosuchfield},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " field " + std::to_string(c.field));
        EXPECT_EQ(host->content(c.path, c.field).type, c.type);
    }
    // Looking at VESK did not load it: copying from it still needs a listing first.
    EXPECT_EQ(host->getFile("/VESK/notes.txt", temp.path() / "notes.txt", 0), FS_FILE_NOTFOUND);
}

TEST_F(ContentTest, ValuesFitTheHostBuffer) {
    std::string path = "/ARNA/textures/wall.dds";
    char small[5];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(host->FsContentGetValue(path.data(), 0, 0, small, sizeof small, 0), ft_string);
    EXPECT_EQ(std::string(small), "reso");
    // A number needs its bytes; a buffer too small for it is an error, not an overrun.
    char four[4];
    EXPECT_EQ(host->FsContentGetValue(path.data(), 2, 0, four, sizeof four, 0), ft_fileerror);
    EXPECT_EQ(host->FsContentGetValue(path.data(), 1, 0, four, sizeof four, 0), ft_numeric_32);
    EXPECT_EQ(host->FsContentGetValue(nullptr, 0, 0, small, sizeof small, 0), ft_fileerror);
    EXPECT_EQ(host->FsContentGetValue(path.data(), 0, 0, nullptr, 0, 0), ft_fileerror);
}

TEST_F(ContentTest, DefaultViewNamesTheFieldsAfterSizeAndDate) {
    char contents[4096], headers[4096], widths[4096], options[4096];
    ASSERT_EQ(host->FsContentGetDefaultView(contents, headers, widths, options, sizeof contents), TRUE);
    EXPECT_EQ(std::string(contents),
              "[=tc.size.bytes]\\n[=tc.writedate]\\n[=<fs>.Archive]\\n[=<fs>.Archives]\\n[=<fs>.Packed size]\\n"
              "[=<fs>.Method]");
    EXPECT_EQ(std::string(headers), "Size\\nDate\\nArchive\\nArchives\\nPacked\\nMethod");
    // The name's and the extension's widths, then one per column.
    const std::string widthText = widths;
    EXPECT_EQ(std::count(widthText.begin(), widthText.end(), ','), 7);
    EXPECT_EQ(std::string(options), "-1|0");

    // Texts that do not fit are not given at all.
    char tiny[16] = "unchanged";
    EXPECT_EQ(host->FsContentGetDefaultView(tiny, headers, widths, options, sizeof tiny), FALSE);
    EXPECT_EQ(std::string(tiny), "unchanged");
}

}  // namespace
}  // namespace kestran::hosttest
