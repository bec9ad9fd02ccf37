// The merged tree against the simplest model of it: an ordered map from full path to
// node, filled record by record and completed the plain way (every ancestor a directory,
// children gathered by walking the map in order). Random tables of a few archives, with
// paths that repeat, directories named as files elsewhere, proper prefixes among
// siblings ("a", "a.txt", "a\b") and bytes of every kind.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "installation/kestran_db.h"

namespace kestran_db {
namespace {

struct ModelLocation {
    std::uint32_t offset;
    std::size_t archive;
};

struct ModelNode {
    bool isDir = false;
    std::string name;
    std::vector<ModelLocation> locations;
    std::vector<std::string> children;
};

class Model {
public:
    void enter(const std::string& path, bool isDir, ModelLocation location) {
        ModelNode& node = tree[path];
        node.locations.push_back(location);
        node.isDir = isDir;
        node.name = path.substr(path.rfind('\\') == std::string::npos ? 0 : path.rfind('\\') + 1);
    }

    void complete(bool haveArchives) {
        std::set<std::string> ancestors;
        for (const auto& entry : tree) {
            for (std::size_t cut = entry.first.rfind('\\'); cut != std::string::npos && cut > 0;
                 cut = entry.first.rfind('\\', cut - 1))
                ancestors.insert(entry.first.substr(0, cut));
        }
        for (const std::string& path : ancestors) {
            ModelNode& node = tree[path];
            if (node.isDir) continue;
            node.isDir = true;
            node.name = path.substr(path.rfind('\\') + 1);
            node.locations.clear();
            if (haveArchives) node.locations.push_back({0, 0});
        }
        if (tree.empty()) return;
        tree[""];
        for (const auto& entry : tree) {
            if (entry.first.empty()) continue;
            const std::size_t cut = entry.first.rfind('\\');
            tree[cut == std::string::npos ? "" : entry.first.substr(0, cut)].children.push_back(entry.first);
        }
    }

    std::map<std::string, ModelNode> tree;
};

// Names from a small alphabet, so that paths meet: prefixes of one another, the same
// name as file and as directory, bytes above 0x7F and below '\' (which sort around it).
std::string randomPath(std::mt19937& random) {
    static const char* const kNames[] = {"a", "a.txt", "a0", "ab", "b", "\xE9t\xE9", "z", "", "a-b", "A_"};
    std::string path = random() % 8 == 0 ? "" : "\\ARNA";
    const int depth = 1 + static_cast<int>(random() % 4);
    for (int level = 0; level < depth; ++level) {
        if (!path.empty() || random() % 2 == 0) path += '\\';
        path += kNames[random() % (sizeof kNames / sizeof kNames[0])];
    }
    return path;
}

void expectSame(const KestranDB& db, const Model& model) {
    const TreeView tree = db.tree();
    ASSERT_EQ(tree.size(), model.tree.size());
    auto expected = model.tree.begin();
    for (const auto& entry : tree) {
        ASSERT_EQ(entry.first, expected->first);
        const ModelNode& want = expected->second;
        const FileNode& node = entry.second;
        SCOPED_TRACE(entry.first);
        EXPECT_EQ(node.path(), entry.first);
        EXPECT_EQ(node.isDir(), want.isDir);
        EXPECT_EQ(std::string(node.name()), want.name);
        ASSERT_EQ(node.locations().size(), want.locations.size());
        for (std::size_t i = 0; i < want.locations.size(); ++i) {
            EXPECT_EQ(node.locations()[i].offset, want.locations[i].offset);
            EXPECT_EQ(node.locations()[i].archive, &db.archives()[want.locations[i].archive]);
        }
        std::vector<std::string> children;
        for (const FileNode* child : node.children()) children.push_back(child->path());
        EXPECT_EQ(children, want.children);
        EXPECT_EQ(db.findNode(entry.first), &node);
        ++expected;
    }
}

TEST(MergedTreeModel, RandomTablesMakeTheSameTree) {
    std::mt19937 random(20261210);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        KestranDB db("C:\\Game");
        Model model;
        db.archives().resize(1 + random() % 3);
        std::uint32_t offset = 0;
        for (std::size_t archive = 0; archive < db.archives().size(); ++archive) {
            const int records = static_cast<int>(random() % 40);
            for (int r = 0; r < records; ++r) {
                const std::string path = randomPath(random);
                const bool isDir = random() % 4 == 0;
                FileLocation location;
                location.offset = ++offset;
                location.archive = &db.archives()[archive];
                db.enter(path, isDir, location);
                model.enter(path, isDir, {offset, archive});
            }
        }
        // Looking at occurrences while filling lays them out early; the rest comes later.
        if (round % 3 == 0 && !model.tree.empty()) {
            const std::string& some = model.tree.begin()->first;
            ASSERT_NE(db.findNode(some), nullptr);
            EXPECT_EQ(db.findNode(some)->locations().size(), model.tree.begin()->second.locations.size());
        }
        db.completeTree();
        model.complete(!db.archives().empty());
        expectSame(db, model);
        // Paths the tree does not hold stay unknown, in any case and with a trailing backslash.
        for (int probe = 0; probe < 20; ++probe) {
            const std::string path = randomPath(random);
            EXPECT_EQ(db.hasNode(path), model.tree.count(path)) << path;
            EXPECT_EQ(db.hasNode(path + "\\"), model.tree.count(path + "\\")) << path;
        }
    }
}

}  // namespace
}  // namespace kestran_db
