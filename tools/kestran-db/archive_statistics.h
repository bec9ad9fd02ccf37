#pragma once
// What each archive of an installation contributes to its merged tree.
#include <cstdint>
#include <vector>

#include "installation/kestran_db.h"

namespace kestran::cli {

struct ArchiveStatistics {
    std::uint64_t records = 0;   // its file table's records: files and directories
    std::uint64_t wins = 0;      // files whose winning copy it holds
    std::uint64_t loses = 0;     // files it holds whose winning copy another archive holds
    std::uint64_t stored = 0;    // bytes its records store (sizeCompressed)
    std::uint64_t unpacked = 0;  // the same unpacked (sizeReal)
};

// One entry per archive, in the order of archives() (ascending priority). The counts
// of records and bytes come from each archive's file table, read once more with the
// installation's VersionCode (the tree also holds directories no record names); wins
// and losses from the tree. Throws kestran::Failure about an archive that can no
// longer be read.
std::vector<ArchiveStatistics> archiveStatistics(const kestran_db::KestranDB& db, std::int32_t versionCode);

// The position of a location's archive in archives().
std::size_t archiveIndex(const kestran_db::KestranDB& db, const kestran_db::FileLocation& location);

}  // namespace kestran::cli
