#pragma once
// One loaded installation: its archives in ascending priority and one merged tree
// of every file and directory they hold, keyed by full virtual path
// ("\ARNA\textures\wall.dds"). A path that several archives hold has one node with
// one FileLocation per occurrence in reading order; the last one wins.
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
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

class FileNode {
public:
    bool isDir() const { return isDir_; }
    // The full virtual path the node is keyed by ("\ARNA\textures\wall.dds"; "" for the root).
    std::string_view path() const { return path_; }
    // The text after the path's last backslash.
    std::string_view name() const { return name_; }
    // Every occurrence in reading order; the last has the highest priority.
    kestran::Span<const FileLocation> locations() const { return {locations_.data(), locations_.size()}; }
    // The occurrence that wins, the one listings, copies and the properties take: the
    // last. Null only for a node that a lookup made, which has none.
    const FileLocation* winner() const { return locations_.empty() ? nullptr : &locations_.back(); }
    // The nodes one level below, in ascending path order, files and directories mixed.
    kestran::Span<const FileNode* const> children() const { return {children_.data(), children_.size()}; }

    // An empty directory that belongs to no tree: the top of an installation without
    // archives, whose tree holds nothing at all.
    static const FileNode& emptyDirectory();

private:
    friend class KestranDB;

    bool isDir_ = false;
    std::string_view path_;  // the tree's own key
    std::string name_;
    std::vector<FileLocation> locations_;
    std::vector<const FileNode*> children_;
};

// std::string compares through char_traits<char>, which orders bytes as unsigned
// char, with a proper prefix first: exactly the order the tree is defined in. The
// transparent comparator lets lookups take a string_view without making a string.
using Tree = std::map<std::string, FileNode, std::less<>>;

class KestranDB {
public:
    explicit KestranDB(std::string rootPath);

    KestranDB(const KestranDB&) = delete;
    KestranDB& operator=(const KestranDB&) = delete;

    const Tree& tree() const { return tree_; }
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
    void enter(std::string path, bool isDir, const FileLocation& location);

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
    Tree tree_;
    std::vector<ArchiveFile> archives_;
    std::string rootPath_;
};

}  // namespace kestran_db
