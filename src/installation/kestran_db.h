#pragma once
// One loaded installation: its archives in ascending priority and one merged tree
// of every file and directory they hold, keyed by full virtual path
// ("\ARNA\textures\wall.dds"). A path that several archives hold has one node with
// one FileLocation per occurrence in reading order; the last one wins.
//
// The tree is built once, while the archives are read, and then only read. So it is
// laid out for that: nodes in blocks that never move, each holding its own name (not
// its whole path) and indices into three flat arrays made when the tree is completed:
// every node's occurrences one after another, every directory's children one after
// another, in path order. While the archives are read, a hash of (parent, name) finds
// the nodes; afterwards lookups walk down from the root through the sorted children.
//
// Paths and their order: a path's parent is the text before its last backslash (the
// root, "", for a path without one); paths compare as unsigned bytes, a proper prefix
// first. Siblings below one directory share its path and a backslash, so they sort by
// name; the root's children are the one exception, as "\ARNA" and a path without any
// backslash ("plain") are both children of the root.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/file_table.h"
#include "common/span.h"
#include "installation/archive_file.h"
#include "installation/extracted_file.h"
#include "installation/file_location.h"

namespace kestran_db {

// The failure of extract for a path the tree does not hold.
inline constexpr const char* kNoSuchFile = "No such file in database!";
// The failure of extract for a node that has no occurrence (one a lookup made).
inline constexpr const char* kNoOccurrence = "entry has no stored copy in any archive";
// A table implying far more directories than it names.
inline constexpr const char* kTooManyDirectories = "index implies too many directories";

// The directories a table implies but no record names become nodes of the merged tree
// too, each keyed by its full path. Their path bytes may come to at most this many
// times those of the table's own paths, plus the slack, so that the tree stays a small
// multiple of the table (see enterRecords).
constexpr std::size_t kImpliedDirectoryFactor = 4;
constexpr std::size_t kImpliedDirectorySlack = 16 * 1024;

class KestranDB;
class FileNode;

// A directory's children, in ascending path order: a view of the tree's own array.
class ChildRange {
public:
    class iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = const FileNode*;
        using difference_type = std::ptrdiff_t;
        using pointer = const FileNode* const*;
        using reference = const FileNode*;

        iterator() = default;
        iterator(const KestranDB* db, const std::uint32_t* at) : db_(db), at_(at) {}
        const FileNode* operator*() const;
        const FileNode* operator[](difference_type i) const { return *(*this + i); }
        iterator& operator++() { return ++at_, *this; }
        iterator operator++(int) { return iterator(db_, at_++); }
        iterator& operator--() { return --at_, *this; }
        iterator operator--(int) { return iterator(db_, at_--); }
        iterator& operator+=(difference_type n) { return at_ += n, *this; }
        iterator& operator-=(difference_type n) { return at_ -= n, *this; }
        iterator operator+(difference_type n) const { return iterator(db_, at_ + n); }
        iterator operator-(difference_type n) const { return iterator(db_, at_ - n); }
        difference_type operator-(const iterator& other) const { return at_ - other.at_; }
        bool operator==(const iterator& other) const { return at_ == other.at_; }
        bool operator!=(const iterator& other) const { return at_ != other.at_; }
        bool operator<(const iterator& other) const { return at_ < other.at_; }

    private:
        const KestranDB* db_ = nullptr;
        const std::uint32_t* at_ = nullptr;
    };

    ChildRange() = default;
    ChildRange(const KestranDB* db, const std::uint32_t* first, std::size_t count)
        : db_(db), first_(first), count_(count) {}

    iterator begin() const { return iterator(db_, first_); }
    iterator end() const { return iterator(db_, first_ + count_); }
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    const FileNode* operator[](std::size_t i) const { return begin()[static_cast<std::ptrdiff_t>(i)]; }
    const FileNode* front() const { return (*this)[0]; }
    const FileNode* back() const { return (*this)[count_ - 1]; }

private:
    const KestranDB* db_ = nullptr;
    const std::uint32_t* first_ = nullptr;
    std::size_t count_ = 0;
};

class FileNode {
public:
    bool isDir() const { return (flags_ & kDir) != 0; }
    // The full virtual path the node is keyed by ("\ARNA\textures\wall.dds"; "" for the
    // root), made from the names up the tree.
    std::string path() const;
    // The text after the path's last backslash; empty for a node that a lookup made and
    // that no record named.
    std::string_view name() const;
    // Every occurrence in reading order; the last has the highest priority.
    kestran::Span<const FileLocation> locations() const;
    // The occurrence that wins, the one listings, copies and the properties take: the
    // last. Null only for a node that a lookup made, which has none.
    const FileLocation* winner() const;
    // The nodes one level below, in ascending path order, files and directories mixed.
    ChildRange children() const;

    // An empty directory that belongs to no tree: the top of an installation without
    // archives, whose tree holds nothing at all.
    static const FileNode& emptyDirectory();

private:
    friend class KestranDB;

    static constexpr std::uint8_t kDir = 1;
    static constexpr std::uint8_t kInTree = 2;        // a node of the tree, not only an ancestor on the way
    static constexpr std::uint8_t kNamed = 4;         // a record named it (its name shows)
    static constexpr std::uint8_t kUnrooted = 8;      // a root child whose path holds no backslash
    static constexpr std::uint8_t kPlaceholder = 16;  // completion made it a directory no record names
    static constexpr std::uint8_t kDetached = 32;     // made by a lookup after completion, linked nowhere

    const KestranDB* db_ = nullptr;
    std::uint32_t name_ = 0;  // in the tree's name blocks; for a detached node, its whole path
    std::uint32_t nameLength_ = 0;
    std::uint32_t parent_ = 0;
    std::uint32_t firstLocation_ = 0;
    std::uint32_t locationCount_ = 0;
    std::uint32_t firstChild_ = 0;
    std::uint32_t childCount_ = 0;
    std::uint8_t flags_ = 0;
};

// The tree in ascending path order, for code that walks all of it: each entry's
// `first` is its full path and `second` its node. Made anew by every tree() call.
class TreeView {
public:
    struct Entry {
        const std::string& first;
        const FileNode& second;
    };
    class iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Entry;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = Entry;

        explicit iterator(std::vector<std::pair<std::string, const FileNode*>>::const_iterator at) : at_(at) {}
        struct Arrow {
            Entry entry;
            const Entry* operator->() const { return &entry; }
        };
        Entry operator*() const { return Entry{at_->first, *at_->second}; }
        Arrow operator->() const { return Arrow{**this}; }
        iterator& operator++() { return ++at_, *this; }
        bool operator==(const iterator& other) const { return at_ == other.at_; }
        bool operator!=(const iterator& other) const { return at_ != other.at_; }

    private:
        std::vector<std::pair<std::string, const FileNode*>>::const_iterator at_;
    };

    explicit TreeView(std::vector<std::pair<std::string, const FileNode*>> entries) : entries_(std::move(entries)) {}

    iterator begin() const { return iterator(entries_.begin()); }
    iterator end() const { return iterator(entries_.end()); }
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    // The node of a path; throws std::out_of_range when the tree has none.
    const FileNode& at(std::string_view path) const;
    std::size_t count(std::string_view path) const;

private:
    std::vector<std::pair<std::string, const FileNode*>> entries_;
};

class KestranDB {
public:
    explicit KestranDB(std::string rootPath);
    ~KestranDB();

    KestranDB(const KestranDB&) = delete;
    KestranDB& operator=(const KestranDB&) = delete;

    // Every node in ascending path order (see TreeView): for walking the whole tree.
    TreeView tree() const;
    // The number of nodes, without walking them.
    std::size_t nodeCount() const;
    // Filled completely by the loader before the first archive is read, never changed
    // afterwards: every FileLocation points into it.
    std::vector<ArchiveFile>& archives() { return archives_; }
    const std::vector<ArchiveFile>& archives() const { return archives_; }
    const std::string& rootPath() const { return rootPath_; }

    // Enters one archive's records, each under prefix + its name, with one FileLocation
    // stamped with archive. A table whose implied directories would outweigh it throws
    // kestran::Failure (TooLarge, kTooManyDirectories) and enters nothing.
    void enterRecords(const std::vector<kestran::FileTableRecord>& records, const ArchiveFile& archive,
                      const std::string& prefix);
    // Enters one occurrence: the node of path, made when missing, gets the location
    // appended and takes isDir and its name from this record.
    void enter(std::string_view path, bool isDir, const FileLocation& location);

    // The node of a path, created empty (and linked nowhere) when the tree has none.
    const FileNode& nodeAt(const std::string& path);
    // The node of a path, or null; creates nothing.
    const FileNode* findNode(std::string_view path) const;
    // 0 or 1: the number of nodes with exactly this path.
    std::size_t hasNode(std::string_view path) const;
    // Once, after the last archive: adds every implied directory and links every node
    // into its parent's children.
    void completeTree();

    // The bytes of a path's highest-priority occurrence. Throws kestran::Failure
    // "No such file in database!" (NotFound) for a path the tree does not hold
    // (creating nothing), and the failures of ExtractedFile's construction.
    ExtractedFile extract(std::string_view path) const;

private:
    friend class FileNode;
    friend class ChildRange::iterator;

    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    static constexpr std::uint32_t kNodeBlockBits = 12;  // 4096 nodes a block
    static constexpr std::uint32_t kNameBlockBits = 16;  // 64 KiB of names a block

    // An occurrence waiting for completion, which lays every node's out in a row.
    struct PendingLocation {
        std::uint32_t node;
        std::uint32_t offset;
        std::uint32_t sizeCompressed;
        std::uint32_t sizeReal;
        std::uint32_t crc;
        std::uint32_t archive;  // index into archives_, kNone for none; top bit: compressed
    };
    static constexpr std::uint32_t kCompressedBit = 0x80000000u;
    static constexpr std::uint32_t kPendingBlockSize = 4096;

    FileNode& node(std::uint32_t index) const {
        return nodeBlocks_[index >> kNodeBlockBits][index & ((1u << kNodeBlockBits) - 1)];
    }
    std::string_view nameOf(const FileNode& n) const;
    std::uint32_t storeName(std::string_view name);
    std::uint32_t newNode(std::uint32_t parent, std::string_view name, std::uint8_t flags);

    // While filling: the hash of (parent, name) over every node but the root.
    std::uint32_t findChild(std::uint32_t parent, bool unrooted, std::string_view name) const;
    std::uint32_t findOrAddChild(std::uint32_t parent, bool unrooted, std::string_view name);
    void addToHash(std::uint32_t index, std::uint32_t hash);
    void reserveHash(std::size_t nodes);
    void growHash(std::size_t size);

    // The node of a path: looked up, or (make) created with every ancestor on the way.
    std::uint32_t findIndex(std::string_view path) const;
    std::uint32_t makeIndex(std::string_view path);
    // The node of a directory path, with a small cache of the directories met last.
    std::uint32_t directoryIndex(std::string_view directory);

    void appendLocation(std::uint32_t index, const FileLocation& location);
    // Lays every node's occurrences out in a row: the ones laid out before, then the
    // waiting ones, in reading order. Nodes marked as placeholders get the placeholder.
    void settleLocations(const FileLocation* placeholder) const;
    void checkImpliedDirectories(const std::vector<kestran::FileTableRecord>& records, const std::string& prefix);

    std::vector<ArchiveFile> archives_;
    std::string rootPath_;

    // Nodes, index 0 the root; blocks never move.
    mutable std::vector<std::unique_ptr<FileNode[]>> nodeBlocks_;
    std::uint32_t nodeCount_ = 0;
    // Names, never across a block's end; a name longer than a block has blocks of its own.
    std::vector<std::unique_ptr<char[]>> nameBlocks_;
    std::uint32_t nameUsed_ = 0;  // bytes used in the last block

    // Occurrences and children, laid out by settleLocations and completeTree.
    mutable std::vector<FileLocation> locations_;
    mutable std::vector<std::unique_ptr<PendingLocation[]>> pendingBlocks_;
    mutable std::size_t pendingCount_ = 0;
    std::vector<std::uint32_t> children_;
    bool complete_ = false;

    // The lookup while filling: slots hold a node index + 1 (0: empty) and 32 bits of
    // its hash. Dropped at completion.
    struct Slot {
        std::uint32_t node;
        std::uint32_t hash;
    };
    std::vector<Slot> slots_;
    std::size_t slotsUsed_ = 0;
    struct CachedDirectory {
        std::string path;
        std::uint32_t node = kNone;
    };
    std::vector<CachedDirectory> directoryCache_;
    const CachedDirectory* lastDirectory_ = nullptr;

    // Nodes that lookups made after completion, linked nowhere.
    std::map<std::string, std::unique_ptr<FileNode>, std::less<>> detached_;
};

inline const FileNode* ChildRange::iterator::operator*() const { return &db_->node(*at_); }

inline std::string_view FileNode::name() const {
    if ((flags_ & (kNamed | kPlaceholder)) == 0) return {};
    return db_->nameOf(*this);
}

inline kestran::Span<const FileLocation> FileNode::locations() const {
    if (db_ == nullptr || locationCount_ == 0) return {};
    if (db_->pendingCount_ != 0) db_->settleLocations(nullptr);
    return {db_->locations_.data() + firstLocation_, locationCount_};
}

inline const FileLocation* FileNode::winner() const {
    const kestran::Span<const FileLocation> all = locations();
    return all.empty() ? nullptr : &all.back();
}

inline ChildRange FileNode::children() const {
    if (db_ == nullptr || childCount_ == 0) return {};
    return ChildRange(db_, db_->children_.data() + firstChild_, childCount_);
}

}  // namespace kestran_db
