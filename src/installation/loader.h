#pragma once
// Loading an installation: finding its archives, ordering them by priority, reading
// every archive's file table into one merged tree.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "installation/archive_file.h"
#include "installation/kestran_db.h"

namespace kestran_db {

// The failure of a load whose archive cannot be read, for the plain layouts; the
// archive's own message is its cause.
inline constexpr const char* kLoadFailed = "error";
// The start of the failure for an archive path that does not fit (kMaxPath).
inline constexpr const char* kPathTooLong = "archive path is 260 characters or longer: ";

// The most records one installation may hold, counted over all its archives: one
// FileLocation each. The largest real installations hold a few hundred thousand
// entries; this is ten times that. Without a bound, fsgame.ltx could name one directory
// up to 1,024 times and multiply its records (each line reads the directory's archives
// again, as it must): a 48 KB archive of 100,000 records would become 100 million
// locations, minutes of work and gigabytes. Past the bound the load fails cleanly.
constexpr std::size_t kMaxEntries = std::size_t{1} << 22;  // 4,194,304

// Builds the complete KestranDB of an installation. VersionCode 0 and 1 take the
// archives in the root directory (scrambled headers; the other key variant is tried
// when the first fails), 2 and 3 the directories that fsgame.ltx names; any other
// value gives an empty set. prefix ("\NAME\") starts every path of the tree.
// Throws kestran::Failure when an archive cannot be read, naming the archive as its
// subject.
//
// An installation may hold at most maxEntries records in all its archives together.
std::shared_ptr<KestranDB> loadInstallation(const std::string& rootPath, std::int32_t versionCode,
                                            const std::string& prefix, std::size_t maxEntries = kMaxEntries);

// The directories a load searches for archives, in order: the root for VersionCode 0
// and 1, the folders that fsgame.ltx names for 2 and 3 (none without it), none for any
// other value. For telling people where a load looked.
std::vector<std::string> archiveDirectories(const std::string& rootPath, std::int32_t versionCode);

// Whether a load now would read other archives than the set was read from: one of them
// is another file or another version of it, or gone, or the archive folders hold other
// archives than then (added, removed or renamed). Cheap: no header is read. A folder
// that cannot be searched counts as a change, so that the next load reports it.
bool archivesChanged(const KestranDB& set, std::int32_t versionCode);

// Appends the "*.db*" entries of one directory, ordered by lower-cased full path.
// Throws kestran::Failure for a full path that does not fit an archive record.
void findArchives(const std::string& directory, std::vector<ArchiveFile>& archives);

}  // namespace kestran_db
