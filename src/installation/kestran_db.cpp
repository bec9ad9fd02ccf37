#include "installation/kestran_db.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <unordered_set>
#include <utility>

#include "common/failure.h"

namespace kestran_db {

namespace {

constexpr char kSeparator = '\\';

// FNV-1a over a node's parent and name, folded to 32 bits: the slot it starts in and
// what tells slots apart before the name is compared.
std::uint32_t childHash(std::uint32_t parent, bool unrooted, std::string_view name) {
    std::uint64_t h = 14695981039346656037ull ^ (std::uint64_t{parent} * 0x9E3779B97F4A7C15ull) ^ (unrooted ? 1u : 0u);
    for (const char c : name) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

int compareBytes(std::string_view a, std::string_view b) {
    // char_traits<char> compares as unsigned char, a proper prefix first.
    return a.compare(b);
}

// Where a path's root child ends: at its first backslash after position 0 (a leading
// backslash belongs to it), or at the end. So "\ARNA\x" starts with "\ARNA", "a\b" with
// "a" and "\\x" with "\".
std::size_t rootChildEnd(std::string_view path) {
    const std::size_t cut = path.find(kSeparator, 1);
    return cut == std::string_view::npos ? path.size() : cut;
}

}  // namespace

// --- FileNode and the views ----------------------------------------------------------

const FileNode& FileNode::emptyDirectory() {
    static const FileNode empty = [] {
        FileNode node;
        node.flags_ = kDir | kInTree;
        return node;
    }();
    return empty;
}

std::string FileNode::path() const {
    if (db_ == nullptr) return {};
    if ((flags_ & kDetached) != 0) return std::string(db_->nameOf(*this));
    // Names up to the root, then joined from the top.
    std::vector<const FileNode*> chain;
    for (const FileNode* n = this; n != &db_->node(0); n = &db_->node(n->parent_)) chain.push_back(n);
    std::string path;
    for (auto n = chain.rbegin(); n != chain.rend(); ++n) {
        if (((*n)->flags_ & kUnrooted) == 0) path += kSeparator;
        path += db_->nameOf(**n);
    }
    return path;
}

const FileNode& TreeView::at(std::string_view path) const {
    const auto found = std::lower_bound(entries_.begin(), entries_.end(), path,
                                        [](const auto& entry, std::string_view p) { return entry.first < p; });
    if (found == entries_.end() || found->first != path) throw std::out_of_range("no node of that path");
    return *found->second;
}

std::size_t TreeView::count(std::string_view path) const {
    const auto found = std::lower_bound(entries_.begin(), entries_.end(), path,
                                        [](const auto& entry, std::string_view p) { return entry.first < p; });
    return found != entries_.end() && found->first == path ? 1 : 0;
}

// --- storage ---------------------------------------------------------------------------

KestranDB::KestranDB(std::string rootPath) : rootPath_(std::move(rootPath)), directoryCache_(256) {
    newNode(kNone, {}, 0);  // the root, in the tree once something is
}

KestranDB::~KestranDB() = default;

std::string_view KestranDB::nameOf(const FileNode& n) const {
    if (n.nameLength_ == 0) return {};
    return {nameBlocks_[n.name_ >> kNameBlockBits].get() + (n.name_ & ((1u << kNameBlockBits) - 1)), n.nameLength_};
}

std::uint32_t KestranDB::storeName(std::string_view name) {
    constexpr std::size_t kBlock = std::size_t{1} << kNameBlockBits;
    if (name.empty()) return 0;
    if (name.size() >= kBlock) {
        // A block of its own; the next name starts a fresh one.
        auto block = std::make_unique<char[]>(name.size());
        std::memcpy(block.get(), name.data(), name.size());
        nameBlocks_.push_back(std::move(block));
        nameUsed_ = kBlock;
        return static_cast<std::uint32_t>(nameBlocks_.size() - 1) << kNameBlockBits;
    }
    if (nameBlocks_.empty() || kBlock - nameUsed_ < name.size()) {
        nameBlocks_.push_back(std::make_unique<char[]>(kBlock));
        nameUsed_ = 0;
    }
    std::memcpy(nameBlocks_.back().get() + nameUsed_, name.data(), name.size());
    const auto handle = static_cast<std::uint32_t>((nameBlocks_.size() - 1) << kNameBlockBits | nameUsed_);
    nameUsed_ += static_cast<std::uint32_t>(name.size());
    return handle;
}

std::uint32_t KestranDB::newNode(std::uint32_t parent, std::string_view name, std::uint8_t flags) {
    constexpr std::uint32_t kBlock = 1u << kNodeBlockBits;
    if (nodeCount_ == kNone - 1) throw kestran::Failure(kestran::FailureKind::TooLarge, "too many nodes");
    if (nodeCount_ % kBlock == 0) nodeBlocks_.push_back(std::make_unique<FileNode[]>(kBlock));
    const std::uint32_t index = nodeCount_++;
    FileNode& n = node(index);
    n.db_ = this;
    n.parent_ = parent;
    n.name_ = storeName(name);
    n.nameLength_ = static_cast<std::uint32_t>(name.size());
    n.flags_ = flags;
    return index;
}

// --- the lookup while filling --------------------------------------------------------

std::uint32_t KestranDB::findChild(std::uint32_t parent, bool unrooted, std::string_view name) const {
    if (slots_.empty()) return kNone;
    const std::uint32_t hash = childHash(parent, unrooted, name);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.node == 0) return kNone;
        if (slot.hash != hash) continue;
        const FileNode& candidate = node(slot.node - 1);
        if (candidate.parent_ == parent && ((candidate.flags_ & FileNode::kUnrooted) != 0) == unrooted &&
            nameOf(candidate) == name)
            return slot.node - 1;
    }
}

void KestranDB::reserveHash(std::size_t nodes) {
    // At most three quarters full, so that probes stay short.
    std::size_t wanted = slots_.empty() ? 1024 : slots_.size();
    while (nodes * 4 > wanted * 3) wanted *= 2;
    if (wanted != slots_.size()) growHash(wanted);
}

void KestranDB::addToHash(std::uint32_t index, std::uint32_t hash) {
    if ((slotsUsed_ + 1) * 4 > slots_.size() * 3) growHash(slots_.empty() ? 1024 : slots_.size() * 2);
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    while (slots_[i].node != 0) i = (i + 1) & mask;
    slots_[i] = Slot{index + 1, hash};
    ++slotsUsed_;
}

void KestranDB::growHash(std::size_t size) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(size, Slot{0, 0});
    slotsUsed_ = 0;
    for (const Slot& slot : old) {
        if (slot.node != 0) addToHash(slot.node - 1, slot.hash);
    }
}

std::uint32_t KestranDB::findOrAddChild(std::uint32_t parent, bool unrooted, std::string_view name) {
    const std::uint32_t found = findChild(parent, unrooted, name);
    if (found != kNone) return found;
    const std::uint32_t index = newNode(parent, name, unrooted ? FileNode::kUnrooted : 0);
    addToHash(index, childHash(parent, unrooted, name));
    return index;
}

std::uint32_t KestranDB::findIndex(std::string_view path) const {
    if (path.empty()) return 0;
    const std::size_t end = rootChildEnd(path);
    const bool unrooted = path[0] != kSeparator;
    const std::string_view first = unrooted ? path.substr(0, end) : path.substr(1, end - 1);
    std::uint32_t at = kNone;
    if (!complete_) {
        at = findChild(0, unrooted, first);
        for (std::size_t start = end; at != kNone && start < path.size();) {
            const std::size_t cut = std::min(path.find(kSeparator, start + 1), path.size());
            at = findChild(at, false, path.substr(start + 1, cut - start - 1));
            start = cut;
        }
        return at;
    }
    // Complete: down through the sorted children.
    const FileNode& root = node(0);
    for (std::uint32_t i = 0; i < root.childCount_; ++i) {
        const std::uint32_t child = children_[root.firstChild_ + i];
        const FileNode& c = node(child);
        if (((c.flags_ & FileNode::kUnrooted) != 0) == unrooted && nameOf(c) == first) {
            at = child;
            break;
        }
    }
    for (std::size_t start = end; at != kNone && start < path.size();) {
        const std::size_t cut = std::min(path.find(kSeparator, start + 1), path.size());
        const std::string_view name = path.substr(start + 1, cut - start - 1);
        const FileNode& parent = node(at);
        const std::uint32_t* first_ = children_.data() + parent.firstChild_;
        const std::uint32_t* last = first_ + parent.childCount_;
        const std::uint32_t* found = std::lower_bound(
            first_, last, name, [this](std::uint32_t c, std::string_view n) { return nameOf(node(c)) < n; });
        at = found != last && nameOf(node(*found)) == name ? *found : kNone;
        start = cut;
    }
    return at;
}

std::uint32_t KestranDB::makeIndex(std::string_view path) {
    if (path.empty()) return 0;
    const std::size_t end = rootChildEnd(path);
    const bool unrooted = path[0] != kSeparator;
    std::uint32_t at = findOrAddChild(0, unrooted, unrooted ? path.substr(0, end) : path.substr(1, end - 1));
    for (std::size_t start = end; start < path.size();) {
        const std::size_t cut = std::min(path.find(kSeparator, start + 1), path.size());
        at = findOrAddChild(at, false, path.substr(start + 1, cut - start - 1));
        start = cut;
    }
    return at;
}

std::uint32_t KestranDB::directoryIndex(std::string_view directory) {
    if (lastDirectory_ != nullptr && lastDirectory_->path == directory) return lastDirectory_->node;
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : directory) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    CachedDirectory& cached = directoryCache_[(h ^ (h >> 32)) & (directoryCache_.size() - 1)];
    if (cached.node == kNone || cached.path != directory) {
        cached.path.assign(directory.data(), directory.size());
        cached.node = makeIndex(directory);
    }
    lastDirectory_ = &cached;
    return cached.node;
}

// --- filling -------------------------------------------------------------------------

void KestranDB::appendLocation(std::uint32_t index, const FileLocation& location) {
    if (pendingCount_ % kPendingBlockSize == 0)
        pendingBlocks_.push_back(std::make_unique<PendingLocation[]>(kPendingBlockSize));
    PendingLocation& p = pendingBlocks_.back()[pendingCount_ % kPendingBlockSize];
    std::uint32_t archive = kNone;
    const std::less<const ArchiveFile*> before;
    if (location.archive != nullptr && !before(location.archive, archives_.data()) &&
        before(location.archive, archives_.data() + archives_.size()))
        archive = static_cast<std::uint32_t>(location.archive - archives_.data());
    p = PendingLocation{index,
                        location.offset,
                        location.sizeCompressed,
                        location.sizeReal,
                        location.crc,
                        (archive & ~kCompressedBit) | (location.isCompressed ? kCompressedBit : 0)};
    ++pendingCount_;
    ++node(index).locationCount_;
}

void KestranDB::enter(std::string_view path, bool isDir, const FileLocation& location) {
    std::uint32_t index = 0;
    if (!path.empty()) {
        // Through the directory: records of one directory mostly come together.
        const std::size_t cut = path.rfind(kSeparator);
        if (cut == std::string_view::npos || cut == 0) {
            index = makeIndex(path);
        } else {
            index = findOrAddChild(directoryIndex(path.substr(0, cut)), false, path.substr(cut + 1));
        }
    }
    appendLocation(index, location);
    FileNode& n = node(index);
    n.flags_ = static_cast<std::uint8_t>((n.flags_ & ~FileNode::kDir) | FileNode::kInTree | FileNode::kNamed |
                                         (isDir ? FileNode::kDir : 0));
}

// Refuses a table whose implied directories would outweigh it. completeTree makes a
// node for every ancestor of every path, keyed by the ancestor's full path, so one
// record 122 levels deep costs 121 nodes and some 15 KB of keys: a header chunk of a
// few kilobytes could fill gigabytes. Real tables share their directories, whose paths
// come to a fraction of the records' own. Ancestors the tree already holds were paid
// for by the archive that put them there, so the climb stops at them.
void KestranDB::checkImpliedDirectories(const std::vector<kestran::FileTableRecord>& records,
                                        const std::string& prefix) {
    std::size_t pathBytes = 0;
    // Every ancestor of every record, counted again for each record: more than the
    // directories could ever come to. A table within the budget even so needs no
    // closer look, and real tables are.
    std::size_t allAncestorBytes = 0;
    std::size_t prefixAncestorBytes = 0;
    for (std::size_t cut = prefix.find(kSeparator, 1); cut != std::string::npos; cut = prefix.find(kSeparator, cut + 1))
        prefixAncestorBytes += cut;
    for (const kestran::FileTableRecord& record : records) {
        pathBytes += prefix.size() + record.name.size();
        allAncestorBytes += prefixAncestorBytes;
        for (std::size_t cut = record.name.find(kSeparator); cut != std::string_view::npos;
             cut = record.name.find(kSeparator, cut + 1))
            allAncestorBytes += prefix.size() + cut;
    }
    const std::size_t budget = kImpliedDirectoryFactor * pathBytes + kImpliedDirectorySlack;
    if (allAncestorBytes <= budget) return;

    std::unordered_set<std::string> implied;
    std::size_t impliedBytes = 0;
    std::string path;
    std::string lastDirectory;
    for (const kestran::FileTableRecord& record : records) {
        path.assign(prefix).append(record.name);
        std::size_t cut = path.rfind(kSeparator);
        if (cut == std::string::npos || cut == 0) continue;
        // The same directory as the record before: its climb is done.
        if (std::string_view(path).substr(0, cut) == lastDirectory) continue;
        lastDirectory.assign(path, 0, cut);
        for (; cut != std::string::npos && cut > 0; cut = path.rfind(kSeparator, cut - 1)) {
            std::string ancestor = path.substr(0, cut);
            // One seen before brings its own ancestors along: they are counted already.
            if (implied.count(ancestor) != 0) break;
            const std::uint32_t held = findIndex(ancestor);
            if (held != kNone && (node(held).flags_ & FileNode::kInTree) != 0) break;
            impliedBytes += ancestor.size();
            implied.insert(std::move(ancestor));
            if (impliedBytes > budget) throw kestran::Failure(kestran::FailureKind::TooLarge, kTooManyDirectories);
        }
    }
}

void KestranDB::enterRecords(const std::vector<kestran::FileTableRecord>& records, const ArchiveFile& archive,
                             const std::string& prefix) {
    checkImpliedDirectories(records, prefix);
    reserveHash(slotsUsed_ + records.size() + records.size() / 8);
    std::string path;
    for (const kestran::FileTableRecord& record : records) {
        FileLocation location;
        location.offset = record.offset;
        location.isCompressed = record.isCompressed;
        location.sizeCompressed = record.sizeCompressed;
        location.sizeReal = record.sizeReal;
        location.crc = record.crc;
        location.archive = &archive;
        path.assign(prefix).append(record.name);
        enter(path, record.isDir, location);
    }
}

const FileNode& KestranDB::nodeAt(const std::string& path) {
    if (!complete_) {
        FileNode& n = node(makeIndex(path));
        n.flags_ |= FileNode::kInTree;
        return n;
    }
    if (const FileNode* found = findNode(path)) return *found;
    // After completion the tree's layout is fixed: a node made now stands apart, and no
    // listing shows it.
    auto made = std::make_unique<FileNode>();
    made->db_ = this;
    made->name_ = storeName(path);
    made->nameLength_ = static_cast<std::uint32_t>(path.size());
    made->flags_ = FileNode::kInTree | FileNode::kDetached;
    return *detached_.emplace(path, std::move(made)).first->second;
}

const FileNode* KestranDB::findNode(std::string_view path) const {
    const std::uint32_t index = findIndex(path);
    if (index != kNone && (node(index).flags_ & FileNode::kInTree) != 0) return &node(index);
    if (!detached_.empty()) {
        const auto found = detached_.find(path);
        if (found != detached_.end()) return found->second.get();
    }
    return nullptr;
}

std::size_t KestranDB::hasNode(std::string_view path) const { return findNode(path) != nullptr ? 1 : 0; }

std::size_t KestranDB::nodeCount() const {
    std::size_t count = detached_.size();
    for (std::uint32_t i = 0; i < nodeCount_; ++i) count += (node(i).flags_ & FileNode::kInTree) != 0 ? 1 : 0;
    return count;
}

TreeView KestranDB::tree() const {
    std::vector<std::pair<std::string, const FileNode*>> entries;
    for (std::uint32_t i = 0; i < nodeCount_; ++i) {
        const FileNode& n = node(i);
        if ((n.flags_ & FileNode::kInTree) != 0) entries.emplace_back(n.path(), &n);
    }
    for (const auto& entry : detached_) entries.emplace_back(entry.first, entry.second.get());
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return TreeView(std::move(entries));
}

// --- completion ----------------------------------------------------------------------

void KestranDB::settleLocations(const FileLocation* placeholder) const {
    // Rows laid out before (only when someone looked at occurrences while the tree was
    // still filling) keep their place at the start of each node's new row: count how
    // many of each node's occurrences are still waiting.
    std::vector<std::uint32_t> waitingOf;
    if (!locations_.empty()) {
        waitingOf.assign(nodeCount_, 0);
        for (std::size_t i = 0; i < pendingCount_; ++i)
            ++waitingOf[pendingBlocks_[i / kPendingBlockSize][i % kPendingBlockSize].node];
    }
    std::size_t total = 0;
    for (std::uint32_t i = 0; i < nodeCount_; ++i) total += node(i).locationCount_;
    std::vector<FileLocation> settled(total);

    // firstLocation_ becomes where each node's next waiting occurrence goes, until all
    // are placed; kNone for a placeholder, whose own occurrences give way.
    std::size_t at = 0;
    for (std::uint32_t i = 0; i < nodeCount_; ++i) {
        FileNode& n = node(i);
        const std::size_t start = at;
        at += n.locationCount_;
        if (placeholder != nullptr && (n.flags_ & FileNode::kPlaceholder) != 0) {
            if (n.locationCount_ != 0) settled[start] = *placeholder;
            n.firstLocation_ = kNone;
            continue;
        }
        const std::uint32_t before = waitingOf.empty() ? 0 : n.locationCount_ - waitingOf[i];
        std::copy_n(locations_.begin() + n.firstLocation_, before,
                    settled.begin() + static_cast<std::ptrdiff_t>(start));
        n.firstLocation_ = static_cast<std::uint32_t>(start + before);
    }
    waitingOf = std::vector<std::uint32_t>();
    locations_ = std::vector<FileLocation>();
    for (std::size_t i = 0; i < pendingCount_; ++i) {
        const PendingLocation& p = pendingBlocks_[i / kPendingBlockSize][i % kPendingBlockSize];
        FileNode& n = node(p.node);
        if (n.firstLocation_ == kNone) continue;
        FileLocation& l = settled[n.firstLocation_++];
        l.offset = p.offset;
        l.sizeCompressed = p.sizeCompressed;
        l.sizeReal = p.sizeReal;
        l.crc = p.crc;
        l.isCompressed = (p.archive & kCompressedBit) != 0;
        const std::uint32_t archive = p.archive & ~kCompressedBit;
        l.archive = archive < archives_.size() ? &archives_[archive] : nullptr;
        // A waiting block is done once its last occurrence is placed.
        if (i % kPendingBlockSize == kPendingBlockSize - 1) pendingBlocks_[i / kPendingBlockSize].reset();
    }
    pendingBlocks_.clear();
    pendingCount_ = 0;
    // Back from "next" to "first": every row is full now.
    at = 0;
    for (std::uint32_t i = 0; i < nodeCount_; ++i) {
        FileNode& n = node(i);
        n.firstLocation_ = static_cast<std::uint32_t>(at);
        at += n.locationCount_;
    }
    locations_ = std::move(settled);
}

void KestranDB::completeTree() {
    // Which nodes are some node's ancestor: every node a path goes through on its way
    // down. Those are directories; one a record named as a directory keeps its own
    // occurrences, the others stand in with a placeholder occurrence in the
    // lowest-priority archive (without any archive, with none).
    std::vector<std::uint32_t> childCount(nodeCount_, 0);
    bool anyEntry = false;
    for (std::uint32_t i = 1; i < nodeCount_; ++i) {
        ++childCount[node(i).parent_];
        anyEntry = anyEntry || (node(i).flags_ & FileNode::kInTree) != 0;
    }
    for (std::uint32_t i = 1; i < nodeCount_; ++i) {
        FileNode& n = node(i);
        if (childCount[i] == 0) continue;
        if ((n.flags_ & (FileNode::kInTree | FileNode::kDir)) == (FileNode::kInTree | FileNode::kDir)) continue;
        n.flags_ |= FileNode::kInTree | FileNode::kDir | FileNode::kPlaceholder;
        n.locationCount_ = archives_.empty() ? 0 : 1;
    }
    // The root is made by the first link.
    if (anyEntry) node(0).flags_ |= FileNode::kInTree;

    // The lookup of the filling goes first: from now on lookups walk the children.
    slots_ = std::vector<Slot>();
    slotsUsed_ = 0;
    directoryCache_ = std::vector<CachedDirectory>();
    lastDirectory_ = nullptr;
    FileLocation placeholder;
    if (!archives_.empty()) placeholder.archive = &archives_.front();
    settleLocations(&placeholder);

    // Children: every node but the root, under its parent, in path order (by name below
    // a directory; at the root "\NAME" and a path without backslash mix by their paths).
    std::uint32_t start = 0;
    for (std::uint32_t i = 0; i < nodeCount_; ++i) {
        FileNode& n = node(i);
        n.firstChild_ = start;
        n.childCount_ = 0;
        start += childCount[i];
    }
    children_.assign(start, 0);
    for (std::uint32_t i = 1; i < nodeCount_; ++i) {
        FileNode& parent = node(node(i).parent_);
        children_[parent.firstChild_ + parent.childCount_++] = i;
    }
    const auto key = [this](std::uint32_t index, std::string& out) {
        const FileNode& n = node(index);
        out.clear();
        if (n.parent_ == 0 && (n.flags_ & FileNode::kUnrooted) == 0) out += kSeparator;
        out += nameOf(n);
    };
    std::string keyA;
    std::string keyB;
    for (std::uint32_t i = 0; i < nodeCount_; ++i) {
        const FileNode& n = node(i);
        std::uint32_t* first = children_.data() + n.firstChild_;
        std::uint32_t* last = first + n.childCount_;
        if (i == 0) {
            std::sort(first, last, [&](std::uint32_t a, std::uint32_t b) {
                key(a, keyA);
                key(b, keyB);
                return compareBytes(keyA, keyB) < 0;
            });
        } else if (n.childCount_ > 1) {
            std::sort(first, last,
                      [this](std::uint32_t a, std::uint32_t b) { return nameOf(node(a)) < nameOf(node(b)); });
        }
    }
    complete_ = true;
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
