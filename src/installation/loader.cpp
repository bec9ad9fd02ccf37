#include "installation/loader.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "archive/chunk_stream.h"
#include "common/ascii.h"
#include "common/failure.h"
#include "installation/fsgame_ltx.h"
#include "platform/file_stream.h"
#include "platform/platform.h"

namespace kestran_db {

namespace {

using kestran::Failure;
using kestran::FailureKind;

constexpr char kSeparator = '\\';

// Every run of backslashes becomes a single one.
std::string collapseSeparators(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        if (c == kSeparator && !out.empty() && out.back() == kSeparator) continue;
        out.push_back(c);
    }
    return out;
}

bool usesArchivesInRoot(std::int32_t versionCode) { return versionCode == 0 || versionCode == 1; }
bool usesFsgame(std::int32_t versionCode) { return versionCode == 2 || versionCode == 3; }

void findFsgameArchives(const std::string& rootPath, std::vector<ArchiveFile>& archives) {
    kestran::platform::FileStream in(kestran::platform::resolvePath(fsgamePath(rootPath)));
    if (in.openFailure()) return;  // no fsgame.ltx: an installation without archives
    for (const std::string& directory : readFsgameDirectories(in, rootPath)) findArchives(directory, archives);
}

// Reads one archive's records (for the scrambled layouts, with the other key variant
// tried once). The failure names the archive; for the plain layouts its message is the
// summing-up "error", with the archive's own message as its cause.
kestran::ArchiveTable readArchive(ArchiveFile& archive, std::int32_t versionCode) {
    // An archive that cannot be opened, or is not a regular file, gives a failed
    // stream: its first read fails ("error reading flag field").
    kestran::platform::FileStream stream(archive.openPath);
    const std::optional<kestran::platform::FileIdentity> before = stream.identity();
    kestran::ArchiveTable table;
    try {
        table = kestran::readArchiveRecords(stream, versionCode);
    } catch (const Failure& failure) {
        if (kestran::hasScrambledHeaders(static_cast<std::uint32_t>(versionCode)))
            throw failure.about(archive.openPath);
        throw Failure(failure.kind(), kLoadFailed, archive.openPath, failure.what());
    }
    // The offsets just read hold for this file as it was: its members' bytes are read
    // later only from the same file, unchanged (see openLoadedArchive). A file that
    // changed while its header was read holds no table to trust.
    if (before && stream.identity() != before)
        throw Failure(FailureKind::Unreadable, archive.openPath + " changed while it was read");
    archive.identity = before;
    return table;
}

}  // namespace

void findArchives(const std::string& directory, std::vector<ArchiveFile>& archives) {
    std::vector<ArchiveFile> found;
    for (const kestran::platform::FoundEntry& entry : kestran::platform::findArchiveCandidates(directory)) {
        const std::string fullPath = collapseSeparators(directory + kSeparator + entry.name);
        // The Windows build opens archives with the ANSI file functions, which take no
        // longer path: such an archive fails the load rather than go unread.
        if (fullPath.size() >= kMaxPath) throw Failure(FailureKind::TooLarge, kPathTooLong + fullPath);

        ArchiveFile archive;
        archive.path = kestran::loweredAscii(fullPath);
        archive.openPath = entry.openPath;
        archive.lastWriteTime = entry.lastWriteTime;
        found.push_back(std::move(archive));
    }
    // std::string orders as unsigned bytes, a proper prefix first.
    std::stable_sort(found.begin(), found.end(),
                     [](const ArchiveFile& a, const ArchiveFile& b) { return a.path < b.path; });
    archives.insert(archives.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
}

namespace {

// The archives of an installation, in priority order.
void findInstallationArchives(const std::string& rootPath, std::int32_t versionCode,
                              std::vector<ArchiveFile>& archives) {
    if (usesArchivesInRoot(versionCode))
        findArchives(rootPath, archives);
    else if (usesFsgame(versionCode))
        findFsgameArchives(rootPath, archives);
}

}  // namespace

std::vector<std::string> archiveDirectories(const std::string& rootPath, std::int32_t versionCode) {
    if (usesArchivesInRoot(versionCode)) return {rootPath};
    if (!usesFsgame(versionCode)) return {};
    kestran::platform::FileStream in(kestran::platform::resolvePath(fsgamePath(rootPath)));
    if (in.openFailure()) return {};
    return readFsgameDirectories(in, rootPath);
}

bool archivesChanged(const KestranDB& set, std::int32_t versionCode) {
    std::vector<ArchiveFile> now;
    try {
        findInstallationArchives(set.rootPath(), versionCode, now);
    } catch (const Failure&) {
        return true;
    }
    const std::vector<ArchiveFile>& loaded = set.archives();
    if (now.size() != loaded.size()) return true;
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (now[i].path != loaded[i].path || now[i].openPath != loaded[i].openPath) return true;
        if (!loaded[i].identity) continue;
        try {
            if (kestran::platform::ReadOnlyFile(now[i].openPath).identity() != *loaded[i].identity) return true;
        } catch (const Failure&) {
            return true;
        }
    }
    return false;
}

std::shared_ptr<KestranDB> loadInstallation(const std::string& rootPath, std::int32_t versionCode,
                                            const std::string& prefix, std::size_t maxEntries) {
    auto set = std::make_shared<KestranDB>(rootPath);
    // Every archive is found before the first is read: locations point into the list.
    findInstallationArchives(rootPath, versionCode, set->archives());

    std::size_t entered = 0;
    for (ArchiveFile& archive : set->archives()) {
        const kestran::ArchiveTable table = readArchive(archive, versionCode);
        const std::vector<kestran::FileTableRecord>& records = table.records;
        entered += records.size();
        if (entered > maxEntries)
            throw Failure(FailureKind::TooLarge, "installation holds more than " + std::to_string(maxEntries) +
                                                     " records in all its archives");
        set->enterRecords(records, archive, prefix);
    }
    set->completeTree();
    return set;
}

}  // namespace kestran_db
