#include "installation/kestran_db.h"

#include <set>
#include <string_view>
#include <utility>

#include "common/failure.h"

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

// Refuses a table whose implied directories would outweigh it. completeTree makes a
// node for every ancestor of every path, keyed by the ancestor's full path, so one
// record 122 levels deep costs 121 nodes and some 15 KB of keys: a header chunk of a
// few kilobytes could fill gigabytes. Real tables share their directories, whose paths
// come to a fraction of the records' own. Ancestors the tree already holds were paid
// for by the archive that put them there, so the climb stops at them.
void checkImpliedDirectories(const std::vector<std::string>& paths, const KestranDB& set) {
    std::size_t pathBytes = 0;
    for (const std::string& path : paths) pathBytes += path.size();
    const std::size_t budget = kImpliedDirectoryFactor * pathBytes + kImpliedDirectorySlack;

    // Views into paths, which outlive the set.
    std::set<std::string_view> implied;
    std::size_t impliedBytes = 0;
    for (const std::string& path : paths) {
        for (std::size_t cut = path.rfind(kSeparator); cut != std::string::npos && cut > 0;
             cut = path.rfind(kSeparator, cut - 1)) {
            const std::string_view ancestor(path.data(), cut);
            // One seen before brings its own ancestors along: they are counted already.
            if (implied.count(ancestor) != 0 || set.hasNode(ancestor) != 0) break;
            implied.insert(ancestor);
            impliedBytes += ancestor.size();
            if (impliedBytes > budget) throw kestran::Failure(kestran::FailureKind::TooLarge, kTooManyDirectories);
        }
    }
}

}  // namespace

const FileNode& FileNode::emptyDirectory() {
    static const FileNode empty = [] {
        FileNode node;
        node.isDir_ = true;
        return node;
    }();
    return empty;
}

KestranDB::KestranDB(std::string rootPath) : rootPath_(std::move(rootPath)) {}

void KestranDB::enterRecords(const std::vector<kestran::FileTableRecord>& records, const ArchiveFile& archive,
                             const std::string& prefix) {
    std::vector<std::string> paths;
    paths.reserve(records.size());
    for (const kestran::FileTableRecord& record : records) paths.push_back(prefix + record.name);
    checkImpliedDirectories(paths, *this);

    for (std::size_t i = 0; i < records.size(); ++i) {
        const kestran::FileTableRecord& record = records[i];
        FileLocation location;
        location.offset = record.offset;
        location.isCompressed = record.isCompressed;
        location.sizeCompressed = record.sizeCompressed;
        location.sizeReal = record.sizeReal;
        location.crc = record.crc;
        location.archive = &archive;
        enter(std::move(paths[i]), record.isDir, location);
    }
}

void KestranDB::enter(std::string path, bool isDir, const FileLocation& location) {
    std::string name = lastComponent(path);
    const auto entry = tree_.try_emplace(std::move(path)).first;
    FileNode& node = entry->second;
    node.path_ = entry->first;
    node.locations_.push_back(location);
    node.isDir_ = isDir;
    node.name_ = std::move(name);
}

const FileNode& KestranDB::nodeAt(const std::string& path) {
    const auto entry = tree_.try_emplace(path).first;
    entry->second.path_ = entry->first;
    return entry->second;
}

const FileNode* KestranDB::findNode(std::string_view path) const {
    const auto found = tree_.find(path);
    return found == tree_.end() ? nullptr : &found->second;
}

std::size_t KestranDB::hasNode(std::string_view path) const { return tree_.count(path); }

void KestranDB::completeTree() {
    // Directories no record names stand in with a placeholder occurrence in the
    // lowest-priority archive. Without any archive there is nothing to point at, and
    // such a directory is left without a location rather than with a dangling one.
    std::vector<FileLocation> placeholder;
    if (!archives_.empty()) {
        FileLocation location;
        location.archive = &archives_.front();
        placeholder.push_back(location);
    }

    // Every ancestor becomes a directory; one a record named as a directory keeps its
    // own occurrences, one held as a file loses them. A is visited once per path, so
    // a node's isDir still says what the records made of it.
    for (const std::string_view path : ancestorPaths(tree_)) {
        const auto entry = tree_.try_emplace(std::string(path)).first;
        FileNode& node = entry->second;
        node.path_ = entry->first;
        if (node.isDir_) continue;
        node.isDir_ = true;
        node.name_ = lastComponent(std::string(path));
        node.locations_ = placeholder;
        node.children_.clear();
    }

    for (auto& entry : tree_) entry.second.children_.clear();

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
            if (found == tree_.end()) {
                found = tree_.try_emplace(std::string(parent)).first;
                found->second.path_ = found->first;
            }
            lastParentPath = found->first;
            lastParent = &found->second;
        }
        lastParent->children_.push_back(&entry.second);
    }
}

ExtractedFile KestranDB::extract(std::string_view path) const {
    const FileNode* node = findNode(path);
    if (node == nullptr) throw kestran::Failure(kestran::FailureKind::NotFound, kNoSuchFile);
    // Only a node made by looking up a path the tree did not hold has no occurrence.
    const FileLocation* winner = node->winner();
    if (winner == nullptr) throw kestran::Failure(kestran::FailureKind::NotFound, kNoOccurrence);
    return ExtractedFile(*winner->archive, *winner);
}

}  // namespace kestran_db
