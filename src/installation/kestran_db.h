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

#include "archive/file_location.h"
#include "installation/archive_file.h"
#include "installation/extracted_file.h"

namespace kestran_db {

struct FileNode {
    bool isDir = false;
    std::string name;                              // text after the path's last backslash
    std::vector<kestran::FileLocation> locations;  // reading order; back() has the highest priority
    std::vector<FileNode*> children;               // one level below, ascending path order
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

    // The node of a path, created empty (and linked nowhere) when the tree has none.
    FileNode& nodeAt(const std::string& path);
    FileNode& nodeAt(std::string&& path);
    // The node of a path, or null; creates nothing.
    const FileNode* findNode(std::string_view path) const;
    // 0 or 1: the number of nodes with exactly this path.
    std::size_t hasNode(std::string_view path) const;
    // Once, after the last archive: adds every implied directory and links every node
    // into its parent's children.
    void completeTree();

    // The bytes of a path's highest-priority occurrence. Throws kestran::Failure
    // "No such file in database!" for a path the tree does not hold (creating nothing),
    // and the failures of ExtractedFile's construction.
    ExtractedFile extract(const std::string& path) const;

private:
    Tree tree_;
    std::vector<ArchiveFile> archives_;
    std::string rootPath_;
};

}  // namespace kestran_db
