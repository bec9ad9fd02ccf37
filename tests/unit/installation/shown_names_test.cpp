// The names a UTF-8 host is shown for a loaded installation, and the way back from
// every shown path to the entry it was shown for.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "installation/loader.h"
#include "installation/shown_names.h"
#include "unit/installation/installation_fixture.h"

namespace kestran_db {
namespace {

using testing::ArchiveBuilder;

// CP1251 bytes and the UTF-8 they show as.
const std::string kPrivet = "\xCF\xF0\xE8\xE2\xE5\xF2";                              // Привет
const std::string kPrivetUtf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";  // Привет
const std::string kFile = "\xF4\xE0\xE9\xEB.txt";                                    // файл.txt
const std::string kFileUtf8 = "\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.txt";                // файл.txt
const std::string kMir = "\xEC\xE8\xF0.txt";                                         // мир.txt
const std::string kMirUtf8 = "\xD0\xBC\xD0\xB8\xD1\x80.txt";                         // мир.txt
const std::string kLong(12, '\xE0');                                                 // аааааааааааа
constexpr std::size_t kHostNameLength = 20;  // holds 10 Cyrillic letters, not 12

class ShownNamesTest : public testing::TempFolder {
protected:
    void SetUp() override {
        ArchiveBuilder first(0);
        first.storedFile("readme.TXT", bytes("read me"))
            .storedFile(kPrivet + "\\" + kFile, bytes("file"))
            .storedFile("both\\" + kMir, bytes("cp1251"))
            .storedFile("both\\" + kMirUtf8, bytes("utf-8"))
            .storedFile("\x98.bin", bytes("undefined byte"))
            .storedFile(
                "\xC0"
                "bc.txt",
                bytes("capital"))
            .storedFile(kLong, bytes("long"));
        writeArchive("gamedata.db0", first);
        set = loadInstallation(root.string(), 0, "\\ARNA\\");
        ASSERT_TRUE(set);
    }

    // Every node below the top, by its path, with the path a host is shown for it.
    std::map<std::string, std::string> shownPaths(const ShownNames& names) const {
        std::map<std::string, std::string> out;
        for (const auto& entry : set->tree()) {
            const std::string& path = entry.first;
            if (path.size() <= std::string("\\ARNA").size()) continue;
            const std::size_t cut = path.rfind('\\');
            const std::string parent = path.substr(0, cut);
            const std::string shownParent = parent == "\\ARNA" ? parent : out.at(parent);
            out[path] = shownParent + "\\" + names.shownName(*set, entry.second);
        }
        return out;
    }

    std::vector<std::string> shownChildren(const ShownNames& names, const std::string& path) const {
        std::vector<std::string> out;
        for (const FileNode* child : set->findNode(path)->children()) out.push_back(names.shownName(*set, *child));
        return out;
    }

    std::shared_ptr<KestranDB> set;
};

TEST_F(ShownNamesTest, NamesThatAreNotUtf8AreShownConverted) {
    const ShownNames names(*kestran::NameCodec::named("CP1251"), kHostNameLength);
    // In the tree's order (by bytes): ASCII first, then the archive's high bytes.
    EXPECT_EQ(shownChildren(names, "\\ARNA"), (std::vector<std::string>{"both", "readme.txt", "\xC2\x98.bin",
                                                                        "\xD0\x90"
                                                                        "bc.txt",
                                                                        kPrivetUtf8, kLong}));
    EXPECT_EQ(shownChildren(names, "\\ARNA\\" + kPrivet), std::vector<std::string>{kFileUtf8});
    // A converted name that a sibling's name already is stays its bytes.
    EXPECT_EQ(shownChildren(names, "\\ARNA\\both"), (std::vector<std::string>{kMirUtf8, kMir}));
}

TEST_F(ShownNamesTest, EveryShownPathLeadsBackToItsEntry) {
    for (const char* codec : {"CP1251", "CP1252", "none"}) {
        SCOPED_TRACE(codec);
        const ShownNames names(*kestran::NameCodec::named(codec), kHostNameLength);
        const std::map<std::string, std::string> shown = shownPaths(names);
        ASSERT_EQ(shown.size(), 9u);
        std::set<std::string> distinct;
        for (const auto& [path, shownPath] : shown) {
            EXPECT_EQ(names.treePath(*set, shownPath), path) << ::testing::PrintToString(shownPath);
            distinct.insert(shownPath);
        }
        EXPECT_EQ(distinct.size(), shown.size());
    }
}

TEST_F(ShownNamesTest, PathsThatNameNothingAreKept) {
    const ShownNames names(*kestran::NameCodec::named("CP1251"));
    struct Case {
        std::string shown;
        std::string tree;
    };
    const Case cases[] = {
        {"\\ARNA", "\\ARNA"},
        {"\\ARNA\\" + kPrivetUtf8 + "\\missing.txt", "\\ARNA\\" + kPrivet + "\\missing.txt"},
        {"\\ARNA\\nowhere\\" + kFileUtf8, "\\ARNA\\nowhere\\" + kFileUtf8},
        {"\\" + kPrivetUtf8 + "\\readme.txt", "\\" + kPrivetUtf8 + "\\readme.txt"},  // an installation's name
        {"\\ARNA\\\\readme.txt", "\\ARNA\\\\readme.txt"},
        {"ARNA\\readme.txt", "ARNA\\readme.txt"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(names.treePath(*set, c.shown), c.tree) << ::testing::PrintToString(c.shown);
}

TEST_F(ShownNamesTest, WithoutConversionNamesAreTheirBytes) {
    const ShownNames names;
    EXPECT_EQ(shownChildren(names, "\\ARNA\\" + kPrivet), std::vector<std::string>{kFile});
    EXPECT_EQ(names.treePath(*set, "\\ARNA\\" + kPrivetUtf8), "\\ARNA\\" + kPrivetUtf8);
}

}  // namespace
}  // namespace kestran_db
