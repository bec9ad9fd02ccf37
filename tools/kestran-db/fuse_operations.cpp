#include "fuse_operations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "common/failure.h"
#include "installation/archive_file.h"
#include "terminal_text.h"

namespace kestran::cli {

namespace {

using Entry = MountTree::Entry;

// How long the kernel may keep what it was told: a day, renewed on use.
constexpr double kCacheSeconds = 86400.0;
constexpr blksize_t kBlockSize = 4096;
constexpr const char* kArchiveAttribute = "user.kestran.archive";
constexpr const char* kArchivesAttribute = "user.kestran.archives";
// The largest read libfuse hands over (1 MiB with the kernel's biggest requests).
constexpr std::size_t kMaxRead = std::size_t{1} << 20;

MountedInstallation& mounted(fuse_req_t request) {
    return *static_cast<MountedInstallation*>(fuse_req_userdata(request));
}

timespec toTimespec(FileTime time) {
    constexpr std::int64_t kTicksPerSecond64 = static_cast<std::int64_t>(kTicksPerSecond);
    const std::int64_t ticks = static_cast<std::int64_t>(toTicks(time)) - static_cast<std::int64_t>(kUnixEpochTicks);
    std::int64_t seconds = ticks / kTicksPerSecond64;
    std::int64_t rest = ticks % kTicksPerSecond64;
    if (rest < 0) {
        --seconds;
        rest += kTicksPerSecond64;
    }
    timespec result{};
    result.tv_sec = static_cast<time_t>(seconds);
    result.tv_nsec = static_cast<long>(rest * 100);
    return result;
}

struct stat attributesOf(const MountedInstallation& m, MountTree::Number number, const Entry& entry) {
    struct stat st {};
    st.st_ino = number;
    st.st_mode = entry.isDirectory() ? (S_IFDIR | 0555) : (S_IFREG | 0444);
    st.st_nlink = entry.isDirectory() ? 2 + entry.subdirectories : 1;
    st.st_uid = m.owner;
    st.st_gid = m.group;
    const std::uint64_t size = MountTree::sizeOf(entry);
    st.st_size = static_cast<off_t>(size);
    st.st_blksize = kBlockSize;
    st.st_blocks = static_cast<blkcnt_t>((size + 511) / 512);
    const timespec time = toTimespec(MountTree::timeOf(entry, m.mountTime));
    st.st_atim = time;
    st.st_mtim = time;
    st.st_ctim = time;
    return st;
}

// The path below the mount point, for messages.
std::string shownPath(const MountTree& tree, MountTree::Number number) {
    std::string path;
    while (number != MountTree::kTop) {
        const Entry* entry = tree.entry(number);
        path = "/" + std::string(entry->name) + path;
        number = entry->parent;
    }
    return path.empty() ? "/" : path;
}

void logFailure(const MountedInstallation& m, MountTree::Number number, const char* what) {
    if (!m.logFailures) return;
    std::cerr << "kestran-db mount: " + printable(shownPath(m.tree, number)) + ": " + printable(what) + "\n";
}

// Answers a request whose work threw: EIO for what cannot be read, ENOMEM for memory.
void replyFailure(fuse_req_t request, MountTree::Number number) {
    try {
        throw;
    } catch (const Failure& e) {
        logFailure(mounted(request), number, e.what());
        fuse_reply_err(request, EIO);
    } catch (const std::bad_alloc&) {
        logFailure(mounted(request), number, "not enough memory");
        fuse_reply_err(request, ENOMEM);
    } catch (const std::exception& e) {
        logFailure(mounted(request), number, e.what());
        fuse_reply_err(request, EIO);
    } catch (...) {
        fuse_reply_err(request, EIO);
    }
}

std::optional<std::string> attributeValue(const Entry& entry, const char* name) {
    if (entry.location == nullptr) return std::nullopt;
    if (std::strcmp(name, kArchiveAttribute) == 0) return entry.location->archive->openPath;
    if (std::strcmp(name, kArchivesAttribute) != 0) return std::nullopt;
    if (entry.kind == MountTree::Kind::Version) return entry.location->archive->openPath;
    std::string all;
    const auto copies = entry.node->locations();
    for (auto copy = copies.rbegin(); copy != copies.rend(); ++copy) {
        if (!all.empty()) all += '\n';
        all += copy->archive->openPath;
    }
    return all;
}

// An extended attribute's value or list: its size when asked for 0 bytes, ERANGE when
// it does not fit.
void replyAttribute(fuse_req_t request, const std::string& value, std::size_t size) {
    if (size == 0) {
        fuse_reply_xattr(request, value.size());
    } else if (size < value.size()) {
        fuse_reply_err(request, ERANGE);
    } else {
        fuse_reply_buf(request, value.data(), value.size());
    }
}

void forget(MountedInstallation& m, const OpenMember* file) {
    std::unique_ptr<OpenMember> closing;
    std::lock_guard<std::mutex> lock(m.openMutex);
    const auto found = m.openFiles.find(file);
    if (found == m.openFiles.end()) return;
    closing = std::move(found->second);
    m.openFiles.erase(found);
}

void lookup(fuse_req_t request, fuse_ino_t parent, const char* name) {
    const MountedInstallation& m = mounted(request);
    const Entry* directory = m.tree.entry(parent);
    if (directory == nullptr) return (void)fuse_reply_err(request, ENOENT);
    if (!directory->isDirectory()) return (void)fuse_reply_err(request, ENOTDIR);
    fuse_entry_param answer{};
    answer.entry_timeout = kCacheSeconds;
    answer.attr_timeout = kCacheSeconds;
    const MountTree::Number number = m.tree.lookup(*directory, name);
    if (number != 0) {
        answer.ino = number;
        answer.attr = attributesOf(m, number, *m.tree.entry(number));
    }
    // Number 0 is a negative entry: the kernel remembers that the name is not there.
    fuse_reply_entry(request, &answer);
}

void getattr(fuse_req_t request, fuse_ino_t ino, fuse_file_info*) {
    const MountedInstallation& m = mounted(request);
    const Entry* entry = m.tree.entry(ino);
    if (entry == nullptr) return (void)fuse_reply_err(request, ENOENT);
    const struct stat st = attributesOf(m, static_cast<MountTree::Number>(ino), *entry);
    fuse_reply_attr(request, &st, kCacheSeconds);
}

void init(void* userdata, fuse_conn_info* connection) {
    if ((connection->capable & FUSE_CAP_NO_OPENDIR_SUPPORT) != 0) {
        connection->want |= FUSE_CAP_NO_OPENDIR_SUPPORT;
        static_cast<MountedInstallation*>(userdata)->withoutOpendir = true;
    }
}

void opendir(fuse_req_t request, fuse_ino_t ino, fuse_file_info* info) {
    const MountedInstallation& m = mounted(request);
    // ENOSYS once and the kernel opens directories itself from then on, with their
    // listings cached as below.
    if (m.withoutOpendir) return (void)fuse_reply_err(request, ENOSYS);
    const Entry* entry = m.tree.entry(ino);
    if (entry == nullptr) return (void)fuse_reply_err(request, ENOENT);
    if (!entry->isDirectory()) return (void)fuse_reply_err(request, ENOTDIR);
    info->cache_readdir = 1;
    info->keep_cache = 1;
    fuse_reply_open(request, info);
}

// A directory's listing from offset on, as much as fits size bytes; with plus
// (readdirplus), its subdirectories come with their attributes, which spares the kernel
// a lookup for each on the way down.
// Offsets: 0 ".", 1 "..", then 2 + the child's place; each entry carries the offset of
// the one after it.
void list(fuse_req_t request, fuse_ino_t ino, size_t size, off_t offset, bool plus) {
    const MountedInstallation& m = mounted(request);
    const Entry* directory = m.tree.entry(ino);
    if (directory == nullptr) return (void)fuse_reply_err(request, ENOENT);
    if (!directory->isDirectory()) return (void)fuse_reply_err(request, ENOTDIR);
    try {
        std::vector<char> buffer(size);
        std::size_t used = 0;
        std::string name;
        const std::uint64_t end = std::uint64_t{2} + directory->childCount;
        for (std::uint64_t at = offset < 0 ? 0 : static_cast<std::uint64_t>(offset); at < end; ++at) {
            MountTree::Number number = 0;
            if (at == 0) {
                number = static_cast<MountTree::Number>(ino);
                name = ".";
            } else if (at == 1) {
                number = directory->parent;
                name = "..";
            } else {
                number = directory->firstChild + static_cast<MountTree::Number>(at - 2);
                name.assign(m.tree.entry(number)->name);
            }
            const Entry& entry = *m.tree.entry(number);
            char* const into = buffer.data() + used;
            const off_t next = static_cast<off_t>(at + 1);
            std::size_t needed = 0;
            if (plus) {
                fuse_entry_param answer{};
                answer.attr = attributesOf(m, number, entry);
                // Directories only: the kernel needs them to go down the tree, while
                // an entry for every file would cost it an inode each, wanted or not.
                // Number 0 lists the name and leaves the file to a lookup.
                answer.ino = entry.isDirectory() ? number : 0;
                answer.entry_timeout = kCacheSeconds;
                answer.attr_timeout = kCacheSeconds;
                needed = fuse_add_direntry_plus(request, into, size - used, name.c_str(), &answer, next);
            } else {
                struct stat st {};
                st.st_ino = number;
                st.st_mode = entry.isDirectory() ? S_IFDIR : S_IFREG;
                needed = fuse_add_direntry(request, into, size - used, name.c_str(), &st, next);
            }
            if (needed > size - used) break;
            used += needed;
        }
        fuse_reply_buf(request, buffer.data(), used);
    } catch (...) {
        replyFailure(request, static_cast<MountTree::Number>(ino));
    }
}

void readdir(fuse_req_t request, fuse_ino_t ino, size_t size, off_t offset, fuse_file_info*) {
    list(request, ino, size, offset, false);
}

void readdirplus(fuse_req_t request, fuse_ino_t ino, size_t size, off_t offset, fuse_file_info*) {
    list(request, ino, size, offset, true);
}

void open(fuse_req_t request, fuse_ino_t ino, fuse_file_info* info) {
    MountedInstallation& m = mounted(request);
    const Entry* entry = m.tree.entry(ino);
    if (entry == nullptr) return (void)fuse_reply_err(request, ENOENT);
    if (entry->isDirectory()) return (void)fuse_reply_err(request, EISDIR);
    if ((info->flags & O_ACCMODE) != O_RDONLY) return (void)fuse_reply_err(request, EROFS);
    try {
        if (entry->location == nullptr) throw Failure(FailureKind::NotFound, "no archive holds a copy");
        auto member = std::make_unique<OpenMember>(*entry->location, m.cache);
        OpenMember* const file = member.get();
        {
            std::lock_guard<std::mutex> lock(m.openMutex);
            m.openFiles.emplace(file, std::move(member));
        }
        info->fh = reinterpret_cast<std::uintptr_t>(file);
        info->keep_cache = 1;
        // -ENOENT: the open was interrupted and no release will follow.
        if (fuse_reply_open(request, info) == -ENOENT) forget(m, file);
    } catch (...) {
        replyFailure(request, static_cast<MountTree::Number>(ino));
    }
}

void read(fuse_req_t request, fuse_ino_t ino, size_t size, off_t offset, fuse_file_info* info) {
    auto* member = reinterpret_cast<OpenMember*>(static_cast<std::uintptr_t>(info->fh));
    if (offset < 0) return (void)fuse_reply_err(request, EINVAL);
    try {
        // One buffer a thread, as large as the largest read, for stored copies.
        thread_local std::vector<std::uint8_t> buffer;
        const std::size_t length = size < kMaxRead ? size : kMaxRead;
        if (buffer.size() < length) buffer.resize(length);
        // Holds an unpacked member's bytes until the reply has gone: a release on
        // another thread may end the open (and with a cache of 0 free the member) as
        // soon as the kernel has the reply, before fuse_reply_buf returns.
        std::shared_ptr<const MemberCache::Member> holder;
        const kestran::Span<const std::uint8_t> bytes =
            member->read(static_cast<std::uint64_t>(offset), length, buffer.data(), holder);
        fuse_reply_buf(request, reinterpret_cast<const char*>(bytes.data()), bytes.size());
    } catch (...) {
        replyFailure(request, static_cast<MountTree::Number>(ino));
    }
}

void release(fuse_req_t request, fuse_ino_t, fuse_file_info* info) {
    forget(mounted(request), reinterpret_cast<const OpenMember*>(static_cast<std::uintptr_t>(info->fh)));
    fuse_reply_err(request, 0);
}

void getxattr(fuse_req_t request, fuse_ino_t ino, const char* name, size_t size) {
    const Entry* entry = mounted(request).tree.entry(ino);
    if (entry == nullptr) return (void)fuse_reply_err(request, ENOENT);
    try {
        const std::optional<std::string> value = attributeValue(*entry, name);
        if (!value) return (void)fuse_reply_err(request, ENODATA);
        replyAttribute(request, *value, size);
    } catch (...) {
        replyFailure(request, static_cast<MountTree::Number>(ino));
    }
}

void listxattr(fuse_req_t request, fuse_ino_t ino, size_t size) {
    const Entry* entry = mounted(request).tree.entry(ino);
    if (entry == nullptr) return (void)fuse_reply_err(request, ENOENT);
    try {
        std::string names;
        if (entry->location != nullptr) {
            names.append(kArchiveAttribute).push_back('\0');
            names.append(kArchivesAttribute).push_back('\0');
        }
        replyAttribute(request, names, size);
    } catch (...) {
        replyFailure(request, static_cast<MountTree::Number>(ino));
    }
}

void statfs(fuse_req_t request, fuse_ino_t) {
    const MountTree& tree = mounted(request).tree;
    struct statvfs st {};
    st.f_bsize = kBlockSize;
    st.f_frsize = kBlockSize;
    st.f_blocks = static_cast<fsblkcnt_t>((tree.totalBytes() + kBlockSize - 1) / kBlockSize);
    st.f_files = static_cast<fsfilcnt_t>(tree.size());
    st.f_namemax = kMaxShownName;
    fuse_reply_statfs(request, &st);
}

fuse_lowlevel_ops makeOperations() {
    fuse_lowlevel_ops ops{};
    ops.init = init;
    ops.lookup = lookup;
    ops.getattr = getattr;
    ops.opendir = opendir;
    ops.readdir = readdir;
    ops.readdirplus = readdirplus;
    ops.open = open;
    ops.read = read;
    ops.release = release;
    ops.getxattr = getxattr;
    ops.listxattr = listxattr;
    ops.statfs = statfs;
    return ops;
}

}  // namespace

const fuse_lowlevel_ops& mountOperations() {
    static const fuse_lowlevel_ops operations = makeOperations();
    return operations;
}

}  // namespace kestran::cli
