#include "installation/loader.h"

#include <algorithm>
#include <cstring>

#include "archive/chunk_stream.h"
#include "common/ascii.h"
#include "common/failure.h"
#include "installation/fsgame_ltx.h"
#include "platform/file_stream.h"
#include "platform/platform.h"

namespace kestran_db {

namespace {

const char* const kLoadFailed = "error";
const char* const kPathTooLong = "archive path is 260 characters or longer: ";

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

bool usesScrambledHeaders(std::int32_t versionCode) { return versionCode == 0 || versionCode == 1; }
bool usesFsgame(std::int32_t versionCode) { return versionCode == 2 || versionCode == 3; }

void findFsgameArchives(const std::string& rootPath, std::vector<ArchiveFile>& archives) {
    kestran::platform::FileStream in(kestran::platform::resolvePath(fsgamePath(rootPath)));
    if (!in) return;  // no fsgame.ltx: an installation without archives
    for (const std::string& directory : readFsgameDirectories(in, rootPath)) findArchives(directory, archives);
}

// Reads one archive's file table; for the scrambled layouts, the other key variant is
// tried once when the first fails.
std::size_t readArchive(KestranDB& set, const ArchiveFile& archive, std::int32_t versionCode,
                        const std::string& prefix) {
    // An archive that cannot be opened, or is not a regular file, gives a failed
    // stream: its first read fails ("error reading flag field").
    kestran::platform::FileStream stream(archive.openPath);
    try {
        return kestran::readArchiveIndex(set, stream, archive, static_cast<std::uint32_t>(versionCode), prefix);
    } catch (const kestran::Failure&) {
        if (!usesScrambledHeaders(versionCode)) throw kestran::Failure(kLoadFailed);
        stream.clear();
        stream.seekg(0);
        return kestran::readArchiveIndex(set, stream, archive, static_cast<std::uint32_t>(versionCode ^ 1), prefix);
    }
}

}  // namespace

void findArchives(const std::string& directory, std::vector<ArchiveFile>& archives) {
    std::vector<ArchiveFile> found;
    for (const kestran::platform::FoundEntry& entry : kestran::platform::findArchiveCandidates(directory)) {
        const std::string fullPath = collapseSeparators(directory + kSeparator + entry.name);
        // The record's path field holds 259 characters and a terminator; a longer path
        // could be neither shown nor told apart, so the load fails instead.
        if (fullPath.size() >= kMaxPath) throw kestran::Failure(kPathTooLong + fullPath);

        ArchiveFile archive;
        archive.dwFileAttributes = entry.attributes;
        archive.ftCreationTime = entry.creationTime;
        archive.ftLastAccessTime = entry.lastAccessTime;
        archive.ftLastWriteTime = entry.lastWriteTime;
        archive.nFileSizeHigh = static_cast<std::uint32_t>(entry.size >> 32);
        archive.nFileSizeLow = static_cast<std::uint32_t>(entry.size);
        std::memcpy(archive.cFileName, fullPath.c_str(), fullPath.size() + 1);
        kestran::lowerCaseAscii(archive.cFileName);
        archive.openPath = entry.openPath;
        found.push_back(std::move(archive));
    }
    // strcmp orders as unsigned bytes, a proper prefix first.
    std::stable_sort(found.begin(), found.end(), [](const ArchiveFile& a, const ArchiveFile& b) {
        return std::strcmp(a.cFileName, b.cFileName) < 0;
    });
    archives.insert(archives.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
}

std::shared_ptr<KestranDB> loadInstallation(const std::string& rootPath, std::int32_t versionCode,
                                            const std::string& prefix, std::size_t maxEntries) {
    auto set = std::make_shared<KestranDB>(rootPath);
    // Every archive is found before the first is read: locations point into the list.
    if (usesScrambledHeaders(versionCode))
        findArchives(rootPath, set->archives());
    else if (usesFsgame(versionCode))
        findFsgameArchives(rootPath, set->archives());

    std::size_t entered = 0;
    for (const ArchiveFile& archive : set->archives()) {
        entered += readArchive(*set, archive, versionCode, prefix);
        if (entered > maxEntries)
            throw kestran::Failure("installation holds more than " + std::to_string(maxEntries) +
                                   " records in all its archives");
    }
    set->completeTree();
    return set;
}

}  // namespace kestran_db
