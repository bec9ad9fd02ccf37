#include "mount_tree.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "common/failure.h"

namespace kestran::cli {

namespace {

constexpr std::string_view kSlash = "/";

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string result;
    std::size_t start = 0;
    for (std::size_t at = text.find(from); at != std::string_view::npos; at = text.find(from, start)) {
        result.append(text.substr(start, at - start));
        result.append(to);
        start = at + from.size();
    }
    result.append(text.substr(start));
    return result;
}

// Why a name from the tree cannot be a name on Linux; nothing when it can.
const char* unshowable(std::string_view raw) {
    if (raw.empty()) return "an empty name";
    if (raw == "." || raw == "..") return "the name . or .., which every directory has already";
    if (raw.find('\0') != std::string_view::npos) return "a NUL byte in the name";
    return nullptr;
}

// "1", "2", ...: a version's number, or 0 for any other text.
std::uint32_t versionNumber(std::string_view name) {
    if (name.empty() || name.size() > 9 || name[0] == '0') return 0;
    std::uint32_t number = 0;
    for (const char c : name) {
        if (c < '0' || c > '9') return 0;
        number = number * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return number;
}

}  // namespace

MountTree::MountTree(const kestran_db::KestranDB& db, const kestran_db::FileNode& top,
                     const kestran_db::ShownNames& names, bool versions)
    : db_(db), codec_(names.codec()), versions_(versions) {
    if (db.nodeCount() >= std::numeric_limits<Number>::max() / 2)
        throw Failure(FailureKind::TooLarge, "kestran-db mount: the installation has too many entries to mount");
    entries_.reserve(db.nodeCount() + 1);
    Entry first;
    first.node = &top;
    first.location = top.winner();
    first.parent = kTop;
    entries_.push_back(first);
    addChildren(kTop, names);
    if (versions_) {
        const Number treeEntries = static_cast<Number>(entries_.size());
        for (Number n = 1; n <= treeEntries; ++n) {
            const Entry& e = entries_[n - 1];
            if (e.kind == Kind::File && e.node->locations().size() > 1) addVersions(n);
        }
    }
}

void MountTree::addChildren(Number directory, const kestran_db::ShownNames& names) {
    struct Candidate {
        const kestran_db::FileNode* node;
        std::string_view shown;
        bool replaced;  // a "/" was replaced in the shown name
        bool kept;
    };
    std::vector<Candidate> candidates;
    const kestran_db::FileNode& node = *entries_[directory - 1].node;
    bool anyReplaced = false;
    for (const kestran_db::FileNode* child : node.children()) {
        const std::string_view raw = child->name();
        if (const char* why = unshowable(raw)) {
            leftOut_.push_back({child->path(), why});
            continue;
        }
        std::string_view shown = raw;
        if (!kestran::isValidUtf8(raw)) shown = keep(names.shownName(db_, *child));
        const bool replaced = shown.find(kSlash) != std::string_view::npos;
        if (replaced) shown = keep(replaceAll(shown, kSlash, kSlashReplacement));
        if (shown.size() > kMaxShownName) {
            leftOut_.push_back({child->path(), "a name longer than 255 bytes"});
            continue;
        }
        anyReplaced = anyReplaced || replaced;
        candidates.push_back({child, shown, replaced, true});
    }
    // A name with "/" shown as "／" may meet a sibling shown so already: of the two, the
    // one whose name is exactly that keeps it; otherwise the first in the tree's order.
    if (anyReplaced) {
        std::vector<std::size_t> order(candidates.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return candidates[a].shown < candidates[b].shown; });
        for (std::size_t run = 0; run < order.size();) {
            std::size_t end = run + 1;
            while (end < order.size() && candidates[order[end]].shown == candidates[order[run]].shown) ++end;
            if (end - run > 1) {
                std::size_t keeper = order[run];
                for (std::size_t i = run; i < end; ++i) {
                    if (candidates[order[i]].node->name() == candidates[order[i]].shown) keeper = order[i];
                }
                for (std::size_t i = run; i < end; ++i) {
                    if (order[i] == keeper) continue;
                    candidates[order[i]].kept = false;
                    leftOut_.push_back(
                        {candidates[order[i]].node->path(), "shown as " + std::string(candidates[order[i]].shown) +
                                                                ", which a sibling is shown as already"});
                }
            }
            run = end;
        }
    }

    const Number first = static_cast<Number>(entries_.size() + 1);
    std::uint32_t count = 0;
    std::uint32_t subdirectories = 0;
    for (const Candidate& c : candidates) {
        if (!c.kept) continue;
        Entry e;
        e.node = c.node;
        e.location = c.node->winner();
        e.name = c.shown;
        e.parent = directory;
        e.kind = c.node->isDir() ? Kind::Directory : Kind::File;
        if (e.kind == Kind::File) totalBytes_ += sizeOf(e);
        subdirectories += e.kind == Kind::Directory ? 1 : 0;
        entries_.push_back(e);
        ++count;
    }
    Entry& self = entries_[directory - 1];
    self.firstChild = first;
    self.childCount = count;
    self.subdirectories = subdirectories;
    for (Number n = first; n < first + count; ++n) {
        if (entries_[n - 1].kind == Kind::Directory) addChildren(n, names);
    }
}

void MountTree::addVersions(Number file) {
    const Entry fileEntry = entries_[file - 1];
    const kestran::Span<const kestran_db::FileLocation> copies = fileEntry.node->locations();
    Entry versions;
    versions.node = fileEntry.node;
    versions.location = fileEntry.location;
    versions.name = keep(std::string(fileEntry.name) + kVersionsSuffix);
    versions.parent = fileEntry.parent;
    versions.kind = Kind::Versions;
    const Number number = static_cast<Number>(entries_.size() + 1);
    versions.firstChild = number + 1;
    versions.childCount = static_cast<std::uint32_t>(copies.size());
    entries_.push_back(versions);
    entries_[file - 1].versions = number;
    for (std::size_t i = 0; i < copies.size(); ++i) {
        Entry copy;
        copy.node = fileEntry.node;
        copy.location = &copies[i];
        copy.name = keep(std::to_string(i + 1));
        copy.parent = number;
        copy.kind = Kind::Version;
        entries_.push_back(copy);
    }
}

std::string_view MountTree::keep(std::string text) {
    names_.push_back(std::move(text));
    return names_.back();
}

const MountTree::Entry* MountTree::entry(std::uint64_t number) const {
    if (number < 1 || number > entries_.size()) return nullptr;
    return &entries_[static_cast<std::size_t>(number - 1)];
}

MountTree::Number MountTree::childByRawName(const Entry& directory, std::string_view raw,
                                            std::string_view shown) const {
    const auto first = entries_.begin() + (directory.firstChild - 1);
    const auto last = first + directory.childCount;
    // Listed children keep the tree's order: ascending names, as unsigned bytes.
    const auto found =
        std::lower_bound(first, last, raw, [](const Entry& e, std::string_view name) { return e.node->name() < name; });
    if (found == last || found->node->name() != raw || found->name != shown) return 0;
    return static_cast<Number>(found - entries_.begin() + 1);
}

MountTree::Number MountTree::lookup(const Entry& directory, std::string_view name) const {
    if (directory.kind == Kind::Versions) {
        const std::uint32_t version = versionNumber(name);
        return version >= 1 && version <= directory.childCount ? directory.firstChild + version - 1 : 0;
    }
    if (directory.kind != Kind::Directory || name.empty()) return 0;
    if (directory.childCount != 0) {
        // The name as it is: a name shown unchanged.
        if (const Number n = childByRawName(directory, name, name)) return n;
        // With "／" back to "/", and then from the code page back to the name's bytes.
        std::string raw(name);
        if (raw.find(kSlashReplacement) != std::string::npos) {
            raw = replaceAll(raw, kSlashReplacement, kSlash);
            if (const Number n = childByRawName(directory, raw, name)) return n;
        }
        if (codec_.convertsNames()) {
            const std::optional<std::string> bytes = codec_.fromUtf8(raw);
            if (bytes && *bytes != raw) {
                if (const Number n = childByRawName(directory, *bytes, name)) return n;
            }
        }
    }
    const std::size_t suffix = std::string_view(kVersionsSuffix).size();
    if (versions_ && name.size() > suffix && name.substr(name.size() - suffix) == kVersionsSuffix) {
        const Number file = lookup(directory, name.substr(0, name.size() - suffix));
        if (file != 0 && entries_[file - 1].kind == Kind::File) return entries_[file - 1].versions;
    }
    return 0;
}

FileTime MountTree::timeOf(const Entry& entry, FileTime otherwise) {
    if (entry.location == nullptr || entry.location->archive == nullptr) return otherwise;
    return entry.location->archive->lastWriteTime;
}

std::uint64_t MountTree::sizeOf(const Entry& entry) {
    if (entry.isDirectory() || entry.location == nullptr) return 0;
    return entry.location->sizeReal;
}

}  // namespace kestran::cli
