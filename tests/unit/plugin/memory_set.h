#pragma once
// A KestranDB built in memory, without archive files: for listing, properties and
// locking tests that only read trees.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/file_time.h"
#include "installation/kestran_db.h"

namespace kestran::plugin::testing {

class MemorySet {
public:
    // Archives in reading order (the last has the highest priority), each with its time.
    MemorySet& archive(const std::string& path, std::uint64_t ticks) {
        archives_.push_back({path, ticks});
        return *this;
    }
    // One record of an archive: a file of a size, or a directory (trailing backslash).
    MemorySet& record(std::size_t archiveIndex, const std::string& fullPath, std::uint32_t size = 0) {
        records_.push_back({archiveIndex, fullPath, size});
        return *this;
    }

    std::shared_ptr<kestran_db::KestranDB> build() const {
        auto set = std::make_shared<kestran_db::KestranDB>("/nowhere");
        for (const auto& a : archives_) {
            kestran_db::ArchiveFile file;
            file.path = a.first;
            file.lastWriteTime = fromTicks(a.second);
            file.openPath = a.first;
            set->archives().push_back(file);
        }
        for (const Record& r : records_) {
            std::string path = r.path;
            const bool isDir = !path.empty() && path.back() == '\\';
            if (isDir) path.pop_back();
            kestran_db::FileLocation location;
            location.sizeReal = r.size;
            location.archive = &set->archives()[r.archive];
            set->enter(path, isDir, location);
        }
        set->completeTree();
        return set;
    }

private:
    struct Record {
        std::size_t archive;
        std::string path;
        std::uint32_t size;
    };
    std::vector<std::pair<std::string, std::uint64_t>> archives_;
    std::vector<Record> records_;
};

}  // namespace kestran::plugin::testing
