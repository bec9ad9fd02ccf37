// The merged tree as a mount numbers and names it, and the way back from every name a
// listing shows to its entry.
#include "mount_tree.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "installation/loader.h"
#include "unit/installation/installation_fixture.h"

namespace kestran::cli {
namespace {

using kestran::testing::ArchiveBuilder;
using kestran::testing::Bytes;
using Kind = MountTree::Kind;

const std::string kPrivet = "\xCF\xF0\xE8\xE2\xE5\xF2.txt";                              // Привет.txt in CP1251
const std::string kPrivetUtf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.txt";  // Привет.txt
const std::string kSolidus = kSlashReplacement;
// Records hold names of up to 244 bytes; this one is shown three times as long.
const std::string kTooLong = "n" + std::string(120, '/');

constexpr std::time_t kTimeA = 1714564800;  // 2024-05-01T12:00:00Z
constexpr std::time_t kTimeB = 1717243200;  // 2024-06-01T12:00:00Z

// a.db0 holds the names a mount must change or leave out; b.db1, read after it,
// overrides a.txt and dir\x.bin.
class MountTreeTest : public kestran_db::testing::TempFolder {
protected:
    void SetUp() override {
        ArchiveBuilder a(0);
        a.storedFile("a.txt", bytes("alpha"))
            .storedFile("dir\\x.bin", bytes("x1"))
            .compressedFile("dir\\sub\\y.bin", Bytes(3000, 7))
            .storedFile("dir\\sub2\\z.bin", bytes("z"))
            .storedFile("half/half.txt", bytes("slash"))
            .storedFile("p/q", bytes("slash, meets its sibling"))
            .storedFile("p" + kSolidus + "q", bytes("fullwidth solidus"))
            .storedFile(kPrivet, bytes("cp1251"))
            .storedFile("..", bytes("dots"))
            .storedFile("gap\\\\empty", bytes("empty name above"))
            .storedFile(std::string("nul\0byte", 8), bytes("nul"))
            .storedFile(kTooLong, bytes("long"));
        writeArchive("a.db0", a, kTimeA);
        ArchiveBuilder b(0);
        b.storedFile("a.txt", bytes("alpha, newer")).storedFile("dir\\x.bin", bytes("x2"));
        writeArchive("b.db1", b, kTimeB);
        db = kestran_db::loadInstallation(root.string(), 0, "\\ARNA\\");
        ASSERT_TRUE(db);
        top = db->findNode("\\ARNA");
        ASSERT_NE(top, nullptr);
    }

    MountTree tree(const char* encoding = "CP1251", bool versions = false) const {
        return MountTree(*db, *top, kestran_db::ShownNames(*NameCodec::named(encoding), kMaxShownName), versions);
    }

    static std::vector<std::string> childNames(const MountTree& t, const MountTree::Entry& directory) {
        std::vector<std::string> names;
        for (MountTree::Number n = directory.firstChild; n < directory.firstChild + directory.childCount; ++n)
            names.emplace_back(t.entry(n)->name);
        return names;
    }

    // The number a path below the top leads to, one lookup per component ("/"-separated).
    static MountTree::Number walk(const MountTree& t, const std::vector<std::string>& components) {
        MountTree::Number at = MountTree::kTop;
        for (const std::string& c : components) {
            at = t.lookup(*t.entry(at), c);
            if (at == 0) return 0;
        }
        return at;
    }

    std::shared_ptr<kestran_db::KestranDB> db;
    const kestran_db::FileNode* top = nullptr;
};

TEST_F(MountTreeTest, TopIsOneThenEachDirectorysChildrenTogetherInTheTreesOrder) {
    const MountTree t = tree();
    const MountTree::Entry& topEntry = *t.entry(MountTree::kTop);
    EXPECT_EQ(topEntry.parent, MountTree::kTop);
    EXPECT_EQ(topEntry.kind, Kind::Directory);
    EXPECT_EQ(topEntry.firstChild, 2u);
    // The tree's order is that of the names' bytes: ".." left out, "p/q" left out as
    // its shown name is its sibling's, the long name and the one with a NUL left out.
    EXPECT_EQ(childNames(t, topEntry), (std::vector<std::string>{"a.txt", "dir", "gap", "half" + kSolidus + "half.txt",
                                                                 "p" + kSolidus + "q", kPrivetUtf8}));
    EXPECT_EQ(topEntry.subdirectories, 2u);  // dir and gap

    const MountTree::Number dir = walk(t, {"dir"});
    ASSERT_NE(dir, 0u);
    EXPECT_EQ(dir, 3u);
    const MountTree::Entry& dirEntry = *t.entry(dir);
    EXPECT_EQ(dirEntry.parent, MountTree::kTop);
    EXPECT_EQ(childNames(t, dirEntry), (std::vector<std::string>{"sub", "sub2", "x.bin"}));
    EXPECT_EQ(dirEntry.subdirectories, 2u);
    // Children are numbered before their subdirectories' children: top's 6, then dir's 3.
    EXPECT_EQ(dirEntry.firstChild, 8u);
    EXPECT_EQ(t.entry(t.size() + 1), nullptr);
    EXPECT_EQ(t.entry(0), nullptr);

    // The same installation numbers the same way every time.
    const MountTree again = tree();
    ASSERT_EQ(again.size(), t.size());
    for (MountTree::Number n = 1; n <= t.size(); ++n) {
        EXPECT_EQ(again.entry(n)->node, t.entry(n)->node);
        EXPECT_EQ(again.entry(n)->name, t.entry(n)->name);
    }
}

TEST_F(MountTreeTest, EntriesThatCannotBeShownAreLeftOutWithTheirReason) {
    const MountTree t = tree();
    std::map<std::string, std::string> leftOut;
    for (const auto& l : t.leftOut()) leftOut[l.path] = l.reason;
    EXPECT_EQ(leftOut.size(), 5u);
    EXPECT_NE(leftOut["\\ARNA\\.."].find(". or .."), std::string::npos);
    EXPECT_NE(leftOut["\\ARNA\\gap\\"].find("empty"), std::string::npos);
    EXPECT_NE(leftOut["\\ARNA\\" + std::string("nul\0byte", 8)].find("NUL"), std::string::npos);
    EXPECT_NE(leftOut["\\ARNA\\" + kTooLong].find("255"), std::string::npos);
    EXPECT_NE(leftOut["\\ARNA\\p/q"].find("sibling"), std::string::npos);
}

TEST_F(MountTreeTest, EveryShownNameLeadsBackToItsEntryAndNoOtherNameDoes) {
    for (const char* encoding : {"CP1251", "none"}) {
        const MountTree t = tree(encoding);
        for (MountTree::Number n = 2; n <= t.size(); ++n) {
            const MountTree::Entry& e = *t.entry(n);
            EXPECT_EQ(t.lookup(*t.entry(e.parent), e.name), n) << encoding << ": " << e.name;
        }
        const MountTree::Number gap = walk(t, {"gap"});
        ASSERT_NE(gap, 0u);
        EXPECT_EQ(t.entry(gap)->childCount, 0u);  // its only child has an empty name
        for (const std::string& absent : {std::string("A.TXT"), std::string("half/half.txt"), std::string(".."),
                                          std::string("missing"), std::string(""), std::string("a.txt.versions")}) {
            EXPECT_EQ(t.lookup(*t.entry(MountTree::kTop), absent), 0u) << encoding << ": " << absent;
        }
        // Below a file nothing is found.
        EXPECT_EQ(t.lookup(*t.entry(walk(t, {"a.txt"})), "x"), 0u);
    }
    // Converted, the name is found by its UTF-8 only; as bytes, by its bytes only.
    EXPECT_NE(walk(tree("CP1251"), {kPrivetUtf8}), 0u);
    EXPECT_EQ(walk(tree("CP1251"), {kPrivet}), 0u);
    EXPECT_NE(walk(tree("none"), {kPrivet}), 0u);
    EXPECT_EQ(walk(tree("none"), {kPrivetUtf8}), 0u);
    // "／" in the shown name is the archive's "/"; the sibling that holds "／" itself wins.
    const MountTree t = tree();
    EXPECT_EQ(t.entry(walk(t, {"half" + kSolidus + "half.txt"}))->node->name(), "half/half.txt");
    EXPECT_EQ(t.entry(walk(t, {"p" + kSolidus + "q"}))->node->name(), "p" + kSolidus + "q");
}

TEST_F(MountTreeTest, SizesTimesAndCopiesAreThoseOfTheWinner) {
    const MountTree t = tree();
    const MountTree::Entry& a = *t.entry(walk(t, {"a.txt"}));
    EXPECT_EQ(a.kind, Kind::File);
    EXPECT_EQ(MountTree::sizeOf(a), 12u);
    EXPECT_EQ(toUnixSeconds(MountTree::timeOf(a, {})), kTimeB);
    const MountTree::Entry& y = *t.entry(walk(t, {"dir", "sub", "y.bin"}));
    EXPECT_EQ(MountTree::sizeOf(y), 3000u);
    EXPECT_EQ(toUnixSeconds(MountTree::timeOf(y, {})), kTimeA);
    EXPECT_EQ(MountTree::sizeOf(*t.entry(walk(t, {"dir"}))), 0u);
    // Every listed file: alpha, newer (12), x2, y, z, half, fullwidth solidus (17), cp1251.
    EXPECT_EQ(t.totalBytes(), 12u + 2 + 3000 + 1 + 5 + 17 + 6);
}

TEST_F(MountTreeTest, VersionsAreFoundByLookupNotListedAndNumberedFromTheLowestPriorityUp) {
    const MountTree plain = tree();
    const MountTree t = tree("CP1251", true);
    EXPECT_EQ(childNames(t, *t.entry(MountTree::kTop)), childNames(plain, *plain.entry(MountTree::kTop)));
    // The tree's own numbers do not move; the versions come after them.
    for (MountTree::Number n = 1; n <= plain.size(); ++n) EXPECT_EQ(t.entry(n)->node, plain.entry(n)->node);

    const MountTree::Number versions = walk(t, {"a.txt.versions"});
    ASSERT_GT(versions, plain.size());
    const MountTree::Entry& v = *t.entry(versions);
    EXPECT_EQ(v.kind, Kind::Versions);
    EXPECT_TRUE(v.isDirectory());
    EXPECT_EQ(v.parent, MountTree::kTop);
    EXPECT_EQ(childNames(t, v), (std::vector<std::string>{"1", "2"}));
    const MountTree::Entry& first = *t.entry(walk(t, {"a.txt.versions", "1"}));
    const MountTree::Entry& second = *t.entry(walk(t, {"a.txt.versions", "2"}));
    EXPECT_EQ(first.kind, Kind::Version);
    EXPECT_EQ(MountTree::sizeOf(first), 5u);
    EXPECT_EQ(toUnixSeconds(MountTree::timeOf(first, {})), kTimeA);
    EXPECT_EQ(MountTree::sizeOf(second), 12u);
    EXPECT_EQ(toUnixSeconds(MountTree::timeOf(second, {})), kTimeB);
    EXPECT_EQ(second.location, t.entry(walk(t, {"a.txt"}))->location);
    EXPECT_NE(walk(t, {"dir", "x.bin.versions", "2"}), 0u);

    for (const std::vector<std::string>& absent :
         std::vector<std::vector<std::string>>{{"a.txt.versions", "0"},
                                               {"a.txt.versions", "3"},
                                               {"a.txt.versions", "01"},
                                               {"a.txt.versions", "a.txt"},
                                               {"dir.versions"},                  // a directory
                                               {"dir", "sub", "y.bin.versions"},  // one copy only
                                               {"a.txt.versions", "1", "x"},      // below a file
                                               {"a.txt.versions.versions"}}) {
        EXPECT_EQ(walk(t, absent), 0u) << absent.front() << " " << absent.back();
    }
}

TEST_F(MountTreeTest, AnInstallationWithoutArchivesIsAnEmptyTop) {
    const kestran_db::KestranDB empty("nowhere");
    const MountTree t(empty, kestran_db::FileNode::emptyDirectory(), kestran_db::ShownNames(), true);
    EXPECT_EQ(t.size(), 1u);
    const MountTree::Entry& e = *t.entry(MountTree::kTop);
    EXPECT_TRUE(e.isDirectory());
    EXPECT_EQ(e.childCount, 0u);
    EXPECT_EQ(e.location, nullptr);
    EXPECT_EQ(t.lookup(e, "anything"), 0u);
    EXPECT_EQ(toUnixSeconds(MountTree::timeOf(e, fromUnixTime(kTimeA))), kTimeA);
    EXPECT_EQ(t.totalBytes(), 0u);
}

}  // namespace
}  // namespace kestran::cli
