#include "installation/kestran_db.h"

#include <set>
#include <string_view>
#include <utility>

namespace kestran_db {

namespace {

constexpr char kSeparator = '\\';

// The text after the last backslash, or all of it when there is none.
std::string lastComponent(const std::string& path) {
    const std::size_t cut = path.rfind(kSeparator);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Every proper ancestor of every path: each shorter path that ends just before one of
// its backslashes, down to (not including) a backslash at the very start. A path
// without a backslash has no ancestor, so the empty root is never among them. The
// views point into the tree's keys, which stay in place while the tree grows.
std::set<std::string_view> ancestorPaths(const Tree& tree) {
    std::set<std::string_view> ancestors;
    for (const auto& entry : tree) {
        const std::string_view path = entry.first;
        std::size_t cut = path.rfind(kSeparator);
        while (cut != std::string_view::npos && cut > 0) {
            // Once an ancestor is known, so are all of its own ancestors.
            if (!ancestors.insert(path.substr(0, cut)).second) break;
            cut = path.rfind(kSeparator, cut - 1);
        }
    }
    return ancestors;
}

// The path a node is linked under: the text before its last backslash, or the root
// (empty path) for a path that has none.
std::string_view parentPath(std::string_view path) {
    const std::size_t cut = path.rfind(kSeparator);
    return cut == std::string_view::npos ? std::string_view() : path.substr(0, cut);
}

}  // namespace

KestranDB::KestranDB(std::string rootPath) : rootPath_(std::move(rootPath)) {}

FileNode& KestranDB::nodeAt(const std::string& path) { return tree_.try_emplace(path).first->second; }

FileNode& KestranDB::nodeAt(std::string&& path) { return tree_.try_emplace(std::move(path)).first->second; }

const FileNode* KestranDB::findNode(std::string_view path) const {
    const auto found = tree_.find(path);
    return found == tree_.end() ? nullptr : &found->second;
}

std::size_t KestranDB::hasNode(std::string_view path) const { return tree_.count(path); }

void KestranDB::completeTree() {
    // Directories no record names stand in with a placeholder occurrence in the
    // lowest-priority archive. Without any archive there is nothing to point at, and
    // such a directory is left without a location rather than with a dangling one.
    std::vector<kestran::FileLocation> placeholder;
    if (!archives_.empty()) {
        kestran::FileLocation location;
        location.archive = &archives_.front();
        placeholder.push_back(location);
    }

    // Every ancestor becomes a directory; one a record named as a directory keeps its
    // own occurrences, one held as a file loses them. A is visited once per path, so
    // a node's isDir still says what the records made of it.
    for (const std::string_view path : ancestorPaths(tree_)) {
        FileNode& node = tree_.try_emplace(std::string(path)).first->second;
        if (node.isDir) continue;
        node.isDir = true;
        node.name = lastComponent(std::string(path));
        node.locations = placeholder;
        node.children.clear();
    }

    for (auto& entry : tree_) entry.second.children.clear();

    // Walking in path order fills each children list in path order. The root is made
    // by the first link; it sorts before everything, so the walk never reaches it, and
    // an existing root is skipped so that no node becomes its own child.
    // Siblings mostly follow one another, so the last parent is tried first.
    std::string_view lastParentPath;
    FileNode* lastParent = nullptr;
    for (auto& entry : tree_) {
        if (entry.first.empty()) continue;
        const std::string_view parent = parentPath(entry.first);
        if (lastParent == nullptr || parent != lastParentPath) {
            auto found = tree_.find(parent);
            if (found == tree_.end()) found = tree_.try_emplace(std::string(parent)).first;
            lastParentPath = found->first;
            lastParent = &found->second;
        }
        lastParent->children.push_back(&entry.second);
    }
}

}  // namespace kestran_db
