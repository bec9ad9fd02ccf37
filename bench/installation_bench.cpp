// Loading a whole installation (archive search, header chunks, merged tree) and
// extracting members from it, on an installation of a realistic shape written once
// into a temporary folder.
#include <benchmark/benchmark.h>

#include <boost/filesystem.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "installation/kestran_db.h"
#include "installation/loader.h"
#include "support/archive_builder.h"

namespace {

namespace fs = boost::filesystem;
using kestran::testing::ArchiveBuilder;
using kestran::testing::Bytes;

constexpr int kArchives = 8;
constexpr int kFilesPerArchive = 4000;

// Eight archives of 4000 small members each; every archive overrides a quarter of the
// paths of the one before, as patches do.
struct Installation {
    fs::path root = fs::temp_directory_path() / fs::unique_path("kestran-bench-%%%%-%%%%");
    Installation() {
        fs::create_directories(root);
        for (int a = 0; a < kArchives; ++a) {
            ArchiveBuilder builder(0);
            for (int f = 0; f < kFilesPerArchive; ++f) {
                const int id = a * kFilesPerArchive * 3 / 4 + f;
                const std::string name = "textures\\set" + std::to_string(id / 200) + "\\tile_" + std::to_string(id) + ".dds";
                const Bytes contents(256 + id % 512, static_cast<std::uint8_t>(id));
                if (f % 2 == 0)
                    builder.compressedFile(name, contents);
                else
                    builder.storedFile(name, contents);
            }
            builder.write((root / ("pack_" + std::to_string(a) + ".db0")).string());
        }
    }
    ~Installation() {
        boost::system::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

const Installation& installation() {
    static const Installation instance;
    return instance;
}

void loadWholeInstallation(benchmark::State& state) {
    const std::string root = installation().root.string();
    std::size_t nodes = 0;
    for (auto _ : state) {
        const auto set = kestran_db::loadInstallation(root, 0, "\\ARNA\\");
        nodes = set->tree().size();
        benchmark::DoNotOptimize(nodes);
    }
    state.counters["records/s"] =
        benchmark::Counter(double(kArchives) * kFilesPerArchive, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["nodes"] = double(nodes);
}
BENCHMARK(loadWholeInstallation)->Unit(benchmark::kMillisecond);

void extractEveryMember(benchmark::State& state) {
    const auto set = kestran_db::loadInstallation(installation().root.string(), 0, "\\ARNA\\");
    std::vector<std::string> files;
    for (const auto& entry : set->tree())
        if (!entry.second.isDir && !entry.first.empty()) files.push_back(entry.first);
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        for (const std::string& path : files) {
            const kestran_db::ExtractedFile file = set->extract(path);
            bytes += file.sizeReal();
            benchmark::DoNotOptimize(file.data());
        }
    }
    state.counters["files/s"] = benchmark::Counter(double(files.size()), benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(extractEveryMember)->Unit(benchmark::kMillisecond);

}  // namespace
