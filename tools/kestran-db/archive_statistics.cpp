#include "archive_statistics.h"

#include <algorithm>

#include "archive/chunk_stream.h"
#include "common/failure.h"
#include "platform/file_stream.h"

namespace kestran::cli {

std::size_t archiveIndex(const kestran_db::KestranDB& db, const kestran_db::FileLocation& location) {
    return static_cast<std::size_t>(location.archive - db.archives().data());
}

std::vector<ArchiveStatistics> archiveStatistics(const kestran_db::KestranDB& db, std::int32_t versionCode) {
    std::vector<ArchiveStatistics> statistics(db.archives().size());
    for (std::size_t i = 0; i < statistics.size(); ++i) {
        const std::string& path = db.archives()[i].openPath;
        platform::FileStream stream(path);
        try {
            for (const FileTableRecord& record : readArchiveRecords(stream, versionCode).records) {
                ++statistics[i].records;
                statistics[i].stored += record.sizeCompressed;
                statistics[i].unpacked += record.sizeReal;
            }
        } catch (const Failure& e) {
            throw e.about(path);
        }
    }
    std::vector<std::size_t> losers;
    for (const auto& entry : db.tree()) {
        const kestran_db::FileNode& node = entry.second;
        if (node.isDir() || node.winner() == nullptr) continue;
        const std::size_t winner = archiveIndex(db, *node.winner());
        ++statistics[winner].wins;
        // Each other archive loses the file once, however many copies it holds.
        losers.clear();
        for (const kestran_db::FileLocation& location : node.locations()) {
            const std::size_t index = archiveIndex(db, location);
            if (index != winner && std::find(losers.begin(), losers.end(), index) == losers.end())
                losers.push_back(index);
        }
        for (const std::size_t index : losers) ++statistics[index].loses;
    }
    return statistics;
}

}  // namespace kestran::cli
