#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "installation/kestran_db.h"
#include "installation/loaded_sets.h"

namespace kestran_db {
namespace {

// A set with three archives; entries are made the way the file table parser makes them.
class MergedTree : public ::testing::Test {
protected:
    MergedTree() : db("C:\\Game") { db.archives().resize(3); }

    const FileNode& enter(const std::string& path, bool isDir, std::size_t archive, std::uint32_t size = 7) {
        FileLocation location;
        location.offset = 100;
        location.sizeReal = size;
        location.sizeCompressed = size;
        location.archive = &db.archives()[archive];
        db.enter(path, isDir, location);
        return *db.findNode(path);
    }

    std::vector<std::string> childNames(const std::string& path) {
        std::vector<std::string> names;
        for (const FileNode* child : db.findNode(path)->children()) names.emplace_back(child->name());
        return names;
    }

    void expectPlaceholder(const FileNode& node) {
        ASSERT_EQ(node.locations().size(), 1u);
        const FileLocation& l = node.locations()[0];
        EXPECT_EQ(l.offset, 0u);
        EXPECT_FALSE(l.isCompressed);
        EXPECT_EQ(l.sizeCompressed, 0u);
        EXPECT_EQ(l.sizeReal, 0u);
        EXPECT_EQ(l.crc, 0u);
        EXPECT_EQ(l.archive, &db.archives().front());
    }

    KestranDB db;
};

TEST_F(MergedTree, ImpliedDirectoriesAreAddedWithPlaceholderAndLinked) {
    enter("\\ARNA\\textures\\wall.dds", false, 2);
    db.completeTree();

    std::vector<std::string> paths;
    for (const auto& entry : db.tree()) paths.push_back(entry.first);
    EXPECT_EQ(paths, (std::vector<std::string>{"", "\\ARNA", "\\ARNA\\textures", "\\ARNA\\textures\\wall.dds"}));

    const FileNode& top = db.tree().at("\\ARNA");
    const FileNode& textures = db.tree().at("\\ARNA\\textures");
    const FileNode& wall = db.tree().at("\\ARNA\\textures\\wall.dds");
    const FileNode& root = db.tree().at("");
    EXPECT_TRUE(top.isDir());
    EXPECT_EQ(top.name(), "ARNA");
    expectPlaceholder(top);
    EXPECT_TRUE(textures.isDir());
    EXPECT_EQ(textures.name(), "textures");
    expectPlaceholder(textures);
    EXPECT_FALSE(wall.isDir());
    EXPECT_EQ(wall.locations().back().archive, &db.archives()[2]);

    EXPECT_FALSE(root.isDir());
    EXPECT_TRUE(root.locations().empty());
    ASSERT_EQ(root.children().size(), 1u);
    EXPECT_EQ(root.children()[0], &top);
    ASSERT_EQ(top.children().size(), 1u);
    EXPECT_EQ(top.children()[0], &textures);
    ASSERT_EQ(textures.children().size(), 1u);
    EXPECT_EQ(textures.children()[0], &wall);
    EXPECT_TRUE(wall.children().empty());
}

TEST_F(MergedTree, NamedDirectoryKeepsItsOwnLocation) {
    const FileNode& sounds = enter("\\ARNA\\sounds", true, 1, 0);
    enter("\\ARNA\\sounds\\a.ogg", false, 2);
    db.completeTree();

    ASSERT_EQ(sounds.locations().size(), 1u);
    EXPECT_EQ(sounds.locations()[0].archive, &db.archives()[1]);
    EXPECT_EQ(sounds.locations()[0].offset, 100u);
    EXPECT_EQ(childNames("\\ARNA\\sounds"), std::vector<std::string>{"a.ogg"});
}

TEST_F(MergedTree, FileThatIsAlsoAnAncestorBecomesADirectory) {
    enter("\\ARNA\\maps", false, 0);
    enter("\\ARNA\\maps", false, 1);
    enter("\\ARNA\\maps\\start.txt", false, 2);
    db.completeTree();

    const FileNode& maps = db.tree().at("\\ARNA\\maps");
    EXPECT_TRUE(maps.isDir());
    EXPECT_EQ(maps.name(), "maps");
    expectPlaceholder(maps);
    EXPECT_EQ(childNames("\\ARNA\\maps"), std::vector<std::string>{"start.txt"});
}

TEST_F(MergedTree, ChildrenFollowUnsignedByteOrderOfTheirPaths) {
    for (const char* name : {"levels", "config", "a.txt", "\xE9t\xE9", "a"})
        enter(std::string("\\ARNA\\") + name, false, 0);
    enter("\\ARNA\\config\\user.ltx", false, 0);
    db.completeTree();

    // A proper prefix first ("a" before "a.txt"), bytes above 0x7F after ASCII.
    EXPECT_EQ(childNames("\\ARNA"), (std::vector<std::string>{"a", "a.txt", "config", "levels", "\xE9t\xE9"}));
    EXPECT_EQ(childNames("\\ARNA\\config"), std::vector<std::string>{"user.ltx"});
}

TEST_F(MergedTree, OccurrencesStayInReadingOrder) {
    enter("\\ARNA\\a.txt", false, 0, 1);
    enter("\\ARNA\\a.txt", false, 2, 3);
    db.completeTree();
    const FileNode& node = db.tree().at("\\ARNA\\a.txt");
    ASSERT_EQ(node.locations().size(), 2u);
    EXPECT_EQ(node.locations().front().archive, &db.archives()[0]);
    EXPECT_EQ(node.locations().back().archive, &db.archives()[2]);
    EXPECT_EQ(node.locations().back().sizeReal, 3u);
}

TEST(KestranDBLookup, NodeAtCreatesOnlyWhatIsMissingAndFindNodeCreatesNothing) {
    KestranDB db("root");
    EXPECT_EQ(db.rootPath(), "root");
    db.enter("\\ARNA\\config", true, FileLocation{});
    const FileNode& config = db.nodeAt("\\ARNA\\config");
    EXPECT_TRUE(config.isDir());
    EXPECT_EQ(&db.nodeAt("\\ARNA\\config"), &config);
    EXPECT_EQ(db.hasNode("\\ARNA\\config"), 1u);

    // Case and a trailing backslash are significant.
    EXPECT_EQ(db.findNode("\\ARNA\\Config"), nullptr);
    EXPECT_EQ(db.hasNode("\\ARNA\\config\\"), 0u);
    EXPECT_EQ(db.tree().size(), 1u);

    const FileNode& other = db.nodeAt("\\ARNA\\Config");
    EXPECT_NE(&other, &config);
    EXPECT_FALSE(other.isDir());
    EXPECT_TRUE(other.name().empty());
    EXPECT_TRUE(other.locations().empty());
    EXPECT_EQ(db.findNode("\\ARNA\\Config"), &other);
    EXPECT_EQ(db.tree().size(), 2u);
}

TEST(KestranDBLookup, EmptySetCompletesToNothing) {
    KestranDB db("root");
    db.completeTree();
    EXPECT_TRUE(db.tree().empty());
}

TEST_F(MergedTree, NodeMadeAfterCompletionIsLinkedNowhere) {
    enter("\\ARNA\\a.txt", false, 0);
    db.completeTree();
    db.nodeAt("\\ARNA\\missing");
    EXPECT_EQ(childNames("\\ARNA"), std::vector<std::string>{"a.txt"});
}

TEST_F(MergedTree, PathsWithoutLeadingBackslashCompleteWithoutSelfLinks) {
    // Not made by the loader, but completion must still end and keep the tree a tree.
    db.nodeAt("");
    enter("plain", false, 0);
    enter("a\\b", false, 0);
    enter("\\\\x", false, 0);
    db.completeTree();

    const FileNode& root = db.tree().at("");
    for (const auto& entry : db.tree()) {
        for (const FileNode* child : entry.second.children()) EXPECT_NE(child, &entry.second) << entry.first;
    }
    EXPECT_TRUE(db.tree().at("a").isDir());
    EXPECT_TRUE(db.tree().at("\\").isDir());
    EXPECT_EQ(childNames("a"), std::vector<std::string>{"b"});
    EXPECT_EQ(childNames("\\"), std::vector<std::string>{"x"});
    std::vector<const FileNode*> expected = {&db.tree().at("\\"), &db.tree().at("a"), &db.tree().at("plain")};
    EXPECT_EQ(root.children().size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), root.children().begin()));
}

TEST(LoadedSetsMap, StoresOnceAndNeverReplaces) {
    LoadedSets sets;
    EXPECT_EQ(sets.count("ARNA"), 0u);
    EXPECT_EQ(sets.find("ARNA"), nullptr);
    auto first = std::make_shared<KestranDB>("a");
    EXPECT_EQ(sets.store("ARNA", first), first);
    EXPECT_EQ(sets.store("ARNA", std::make_shared<KestranDB>("b")), first);
    EXPECT_EQ(sets.count("ARNA"), 1u);
    EXPECT_EQ(sets.count("arna"), 0u);
    EXPECT_EQ(sets.find("ARNA")->rootPath(), "a");
}

}  // namespace
}  // namespace kestran_db
