#pragma once
// Walks a completed merged tree the way listings and the properties dialog do, and
// checks what completion promises: every node but the root is linked exactly once
// under its parent, nothing is its own child, and every location points at an
// archive of the set.
#include <cstddef>
#include <string>

#include "fuzz_support.h"
#include "installation/kestran_db.h"

namespace kestran::fuzz {

inline bool isArchiveOf(const kestran_db::KestranDB& set, const kestran_db::ArchiveFile* archive) {
    for (const kestran_db::ArchiveFile& candidate : set.archives())
        if (&candidate == archive) return true;
    return false;
}

// Visits every node below node; returns how many were visited.
inline std::size_t walkBelow(const kestran_db::KestranDB& set, const kestran_db::FileNode& node, std::size_t depth) {
    // Paths are at most a prefix and 244 name bytes long, so the tree cannot be deeper
    // than its longest path; anything deeper is a cycle.
    FUZZ_CHECK(depth < 1024);
    std::size_t visited = 0;
    for (const kestran_db::FileNode* child : node.children()) {
        FUZZ_CHECK(child != nullptr && child != &node);
        for (const kestran_db::FileLocation& location : child->locations())
            FUZZ_CHECK(isArchiveOf(set, location.archive));
        visited += 1 + walkBelow(set, *child, depth + 1);
    }
    return visited;
}

// Walks the whole tree from its root node (the empty path).
inline void walkCompletedTree(const kestran_db::KestranDB& set) {
    const kestran_db::FileNode* root = set.findNode("");
    if (root == nullptr) {
        // Only an empty tree completes without a root.
        FUZZ_CHECK(set.tree().empty());
        return;
    }
    FUZZ_CHECK(walkBelow(set, *root, 0) == set.tree().size() - 1);
    for (const auto& entry : set.tree()) {
        // Every node but the root is named by the last component of its path.
        if (entry.first.empty()) continue;
        const std::size_t cut = entry.first.rfind('\\');
        FUZZ_CHECK(entry.second.name() == (cut == std::string::npos ? entry.first : entry.first.substr(cut + 1)));
    }
}

}  // namespace kestran::fuzz
