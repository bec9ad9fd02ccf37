#pragma once
// The merged tree as a mount shows it: every entry numbered once, when the mount starts,
// with the name a program sees, so that requests (which name entries by number, and a
// child by its parent's number and one name) need no paths at all.
//
// Numbers: 1 is the installation's top; then the children of each directory together,
// in the tree's order, directory after directory depth-first; the NAME.versions
// directories and their files come after all of them. So a number stays the same for
// as long as the mount lives, and for every mount of the same installation.
//
// Names: a name is shown as ShownNames shows it (as it is when UTF-8, else converted
// from the configured code page), with one change: "/", which a name on Linux cannot
// hold but an archive's name can, is shown as U+FF0F FULLWIDTH SOLIDUS ("／", bytes EF BC
// 8F). A lookup takes a name back the same way. An entry whose name cannot be shown at
// all is left out (see LeftOut).
//
// Versions (optional): a file that several archives hold (or one archive more than once)
// also has the directory NAME.versions, found by lookup and not listed (so find and grep
// -r see every file once), holding 1, 2, ... N: every copy in reading order, from the
// lowest priority up; N is the copy that wins.
//
// Built once, then only read: safe in any number of threads at once.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_time.h"
#include "installation/kestran_db.h"
#include "installation/shown_names.h"

namespace kestran::cli {

// The replacement a "/" inside an archive's name is shown with.
inline constexpr const char* kSlashReplacement = "\xEF\xBC\x8F";
inline constexpr const char* kVersionsSuffix = ".versions";
// The longest name Linux takes, in bytes.
constexpr std::size_t kMaxShownName = 255;

class MountTree {
public:
    using Number = std::uint32_t;
    static constexpr Number kTop = 1;

    enum class Kind : std::uint8_t {
        Directory,
        File,
        Versions,  // NAME.versions
        Version,   // NAME.versions/N
    };

    struct Entry {
        // The tree's node: the entry's own, or for Versions and Version the file's.
        const kestran_db::FileNode* node = nullptr;
        // The copy it shows: the winner, or one version's copy. Null only for the top
        // of an installation without archives.
        const kestran_db::FileLocation* location = nullptr;
        std::string_view name;  // as shown; empty for the top
        Number parent = 0;      // the top is its own parent
        // A directory's children as listed: the numbers firstChild to firstChild +
        // childCount - 1, in the tree's order.
        Number firstChild = 0;
        std::uint32_t childCount = 0;
        std::uint32_t subdirectories = 0;  // listed children that are directories
        Number versions = 0;               // a File's NAME.versions, 0 for none
        Kind kind = Kind::Directory;

        bool isDirectory() const { return kind == Kind::Directory || kind == Kind::Versions; }
    };

    // An entry that is not shown, and why.
    struct LeftOut {
        std::string path;  // the tree's path
        std::string reason;
    };

    // top: the installation's top node of db (FileNode::emptyDirectory() for one without
    // archives).
    MountTree(const kestran_db::KestranDB& db, const kestran_db::FileNode& top, const kestran_db::ShownNames& names,
              bool versions);

    // The entry of a number; null for a number the mount does not have.
    const Entry* entry(std::uint64_t number) const;
    // The child of a directory shown under name (a NAME.versions included); 0 for none.
    Number lookup(const Entry& directory, std::string_view name) const;

    std::size_t size() const { return entries_.size(); }
    // The sum of every listed file's size.
    std::uint64_t totalBytes() const { return totalBytes_; }
    const std::vector<LeftOut>& leftOut() const { return leftOut_; }

    // The time of an entry: its copy's archive's last-write time; for the top of an
    // installation without archives, `otherwise`.
    static FileTime timeOf(const Entry& entry, FileTime otherwise);
    // The size a program sees: the copy's sizeReal for files, 0 for directories.
    static std::uint64_t sizeOf(const Entry& entry);

private:
    void addChildren(Number directory, const kestran_db::ShownNames& names);
    void addVersions(Number file);
    std::string_view keep(std::string text);
    // The child of directory whose tree name is raw, when it is shown as shown; 0 else.
    Number childByRawName(const Entry& directory, std::string_view raw, std::string_view shown) const;

    const kestran_db::KestranDB& db_;
    kestran::NameCodec codec_;
    std::vector<Entry> entries_;     // entries_[n - 1] is number n
    std::deque<std::string> names_;  // the shown names that differ from the tree's
    std::vector<LeftOut> leftOut_;
    std::uint64_t totalBytes_ = 0;
    bool versions_ = false;
};

}  // namespace kestran::cli
