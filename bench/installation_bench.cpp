// Loading a whole installation (archive search, header chunks, merged tree), listing
// and copying out through the plug-in's exports, on installations written once into a
// temporary folder by the test-side archive writer. The program ends with every figure
// beside its reference and its goal.
//
//   loadInstallation    the large installation (support/large_installation.h): 12
//                       archives, 60,000 files, 4,000 of them overridden by the last
//                       archive; reports the time and the peak heap of one load.
//   firstListing        the same installation's first listing through the built plug-in
//                       (FsFindFirst loads it, then FsFindNext to the end).
//   listLargeDirectory  a directory of 20,000 entries listed through the exports.
//   extractLargeMember  one 64 MiB member packed with LZO1X, fetched through
//                       KestranDB::extract (its stored bytes read, unpacked into a fresh
//                       buffer)
//   rawLzoDecompress    the same stored bytes unpacked by lzo1x_decompress_safe alone,
//                       from memory into a ready buffer: the reference for the line above.
//   copyStoredMember    a 64 MiB stored member copied out by FsGetFile
//   cpPlainFile         cp of a plain file of the same size on the same disk: its reference.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <lzo/lzo1x.h>
#include <malloc.h>

#include <atomic>
#include <boost/filesystem.hpp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "bench_installations.h"
#include "installation/kestran_db.h"
#include "installation/loader.h"
#include "plugin/exports.h"
#include "support/archive_builder.h"
#include "support/large_installation.h"
#include "support/temp_folder.h"

// Heap accounting for this program: current and peak bytes held.
namespace {
std::atomic<std::size_t> heapNow{0};
std::atomic<std::size_t> heapPeak{0};

void* allocate(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    const std::size_t now = heapNow += malloc_usable_size(p);
    std::size_t peak = heapPeak.load();
    while (now > peak && !heapPeak.compare_exchange_weak(peak, now)) {
    }
    return p;
}
void release(void* p) {
    if (p == nullptr) return;
    heapNow -= malloc_usable_size(p);
    std::free(p);
}
}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }

namespace {

namespace fs = boost::filesystem;
using kestran::testing::ArchiveBuilder;
using kestran::testing::Bytes;

using kestran::bench::kLargeMember;

// A folder of the tests' kind, with its path as Boost.Filesystem takes it.
struct TempFolder {
    kestran::testing::TempFolder folder{"kestran-bench"};
    fs::path root{folder.path().string()};
};

// The 60,000-file installation, written once.
const TempFolder& installation() {
    static const TempFolder folder;
    static const bool written = [](const TempFolder& f) {
        kestran::testing::writeLargeInstallation(f.root.string());
        return true;
    }(folder);
    (void)written;
    return folder;
}

void loadInstallation(benchmark::State& state) {
    const std::string root = installation().root.string();
    std::size_t nodes = 0;
    std::size_t peak = 0;
    for (auto _ : state) {
        const std::size_t before = heapNow.load();
        heapPeak = before;
        const auto set = kestran_db::loadInstallation(root, 0, "\\ARNA\\");
        peak = heapPeak.load() - before;
        nodes = set->nodeCount();
        benchmark::DoNotOptimize(nodes);
    }
    state.counters["nodes"] = double(nodes);
    state.counters["peak_heap_MiB"] = double(peak) / (1 << 20);
    state.counters["peak_heap_bytes_per_node"] = nodes == 0 ? 0 : double(peak) / double(nodes);
}
BENCHMARK(loadInstallation)->Unit(benchmark::kMillisecond)->Repetitions(5);

// The built plug-in, loaded afresh from a folder of its own beside a kestran.ini that
// names one installation ARNA (VersionCode 0): every instance starts with nothing loaded.
class Plugin {
public:
    Plugin(const fs::path& folder, const std::string& root) {
        fs::create_directories(folder);
        const fs::path copy = folder / "kestran.wfx";
        fs::copy_file(KESTRAN_PLUGIN_FILE, copy, fs::copy_options::overwrite_existing);
        std::ofstream(folder / "kestran.ini")
            << "[main]\nuse_registry = false\n[installations]\nARNA = 3312|" << root << "\n";
        library_ = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library_ == nullptr) return;
        findFirst_ = reinterpret_cast<decltype(&FsFindFirst)>(dlsym(library_, "FsFindFirst"));
        findNext_ = reinterpret_cast<decltype(&FsFindNext)>(dlsym(library_, "FsFindNext"));
        findClose_ = reinterpret_cast<decltype(&FsFindClose)>(dlsym(library_, "FsFindClose"));
        getFile_ = reinterpret_cast<decltype(&FsGetFile)>(dlsym(library_, "FsGetFile"));
    }
    ~Plugin() {
        if (library_ != nullptr) dlclose(library_);
    }
    bool loaded() const { return library_ != nullptr && findFirst_ && findNext_ && findClose_ && getFile_; }

    // Lists a directory to its end; the number of entries.
    std::size_t list(const std::string& path) {
        std::string text = path;
        WIN32_FIND_DATAA record{};
        HANDLE handle = findFirst_(text.data(), &record);
        if (handle == INVALID_HANDLE_VALUE) return 0;
        std::size_t count = 1;
        while (findNext_(handle, &record) == TRUE) ++count;
        findClose_(handle);
        return count;
    }
    int getFile(const std::string& remote, const std::string& local) {
        std::string r = remote, l = local;
        return getFile_(r.data(), l.data(), FS_COPYFLAGS_OVERWRITE, nullptr);
    }

private:
    void* library_ = nullptr;
    decltype(&FsFindFirst) findFirst_ = nullptr;
    decltype(&FsFindNext) findNext_ = nullptr;
    decltype(&FsFindClose) findClose_ = nullptr;
    decltype(&FsGetFile) getFile_ = nullptr;
};

void firstListing(benchmark::State& state) {
    const std::string root = installation().root.string();
    const TempFolder plugins;
    std::size_t entries = 0;
    int instance = 0;
    for (auto _ : state) {
        state.PauseTiming();
        {
            Plugin plugin(plugins.root / std::to_string(instance++), root);
            if (!plugin.loaded()) {
                state.SkipWithError("cannot load the plug-in");
                break;
            }
            state.ResumeTiming();
            entries = plugin.list("/ARNA");
            state.PauseTiming();
        }
        state.ResumeTiming();
    }
    state.counters["entries"] = double(entries);
}
BENCHMARK(firstListing)->Unit(benchmark::kMillisecond)->Repetitions(5);

// One directory of 20,000 files, loaded once; each iteration lists it.
void listLargeDirectory(benchmark::State& state) {
    static const TempFolder folder;
    static const bool written = [](const TempFolder& f) {
        ArchiveBuilder builder(0);
        for (int i = 0; i < 20000; ++i) builder.storedFile("big\\entry_" + std::to_string(i) + ".dds", Bytes(4, 1));
        builder.write((f.root / "big.db0").string());
        return true;
    }(folder);
    (void)written;
    const TempFolder plugins;
    Plugin plugin(plugins.root, folder.root.string());
    if (!plugin.loaded() || plugin.list("/ARNA") == 0) {
        state.SkipWithError("cannot load the plug-in");
        return;
    }
    std::size_t entries = 0;
    for (auto _ : state) entries = plugin.list("/ARNA/big");
    state.counters["entries"] = double(entries);
}
BENCHMARK(listLargeDirectory)->Unit(benchmark::kMillisecond)->Repetitions(5);

struct LargeMember {
    TempFolder folder;
    Bytes stored;
    std::shared_ptr<kestran_db::KestranDB> set;
    LargeMember() {
        stored = kestran::testing::compressLzo(kestran::bench::largeContents());
        kestran::bench::writeLargePackedMember(folder.root.string());
        set = kestran_db::loadInstallation(folder.root.string(), 0, "\\ARNA\\");
    }
};

const LargeMember& largeMember() {
    static const LargeMember member;
    return member;
}

void extractLargeMember(benchmark::State& state) {
    const auto& member = largeMember();
    for (auto _ : state) {
        const kestran_db::ExtractedFile file = member.set->extract("\\ARNA\\textures\\large.dds");
        benchmark::DoNotOptimize(file.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kLargeMember);
    state.counters["stored_MiB"] = double(member.stored.size()) / (1 << 20);
}
BENCHMARK(extractLargeMember)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

void rawLzoDecompress(benchmark::State& state) {
    const auto& member = largeMember();
    if (lzo_init() != LZO_E_OK) state.SkipWithError("lzo_init failed");
    std::vector<std::uint8_t> out(kLargeMember);
    for (auto _ : state) {
        lzo_uint size = out.size();
        lzo1x_decompress_safe(member.stored.data(), member.stored.size(), out.data(), &size, nullptr);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kLargeMember);
}
BENCHMARK(rawLzoDecompress)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

// 64 MiB stored: a plain file of that size, and an archive holding the same bytes stored.
struct StoredMember {
    TempFolder folder;
    fs::path plain = folder.root / "plain.bin";
    StoredMember() {
        kestran::testing::writeFile(plain.string(), kestran::bench::noiseContents());
        kestran::bench::writeLargeStoredMember(folder.root.string());
    }
};

const StoredMember& storedMember() {
    static const StoredMember member;
    return member;
}

void copyStoredMember(benchmark::State& state) {
    const auto& member = storedMember();
    const TempFolder plugins;
    Plugin plugin(plugins.root, member.folder.root.string());
    if (!plugin.loaded() || plugin.list("/ARNA") == 0) {
        state.SkipWithError("cannot load the plug-in");
        return;
    }
    const std::string target = (member.folder.root / "copied.bin").string();
    for (auto _ : state) {
        if (plugin.getFile("/ARNA/textures/stored.dds", target) != FS_FILE_OK) state.SkipWithError("FsGetFile failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kLargeMember);
}
BENCHMARK(copyStoredMember)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

void cpPlainFile(benchmark::State& state) {
    const auto& member = storedMember();
    const std::string command =
        "cp -f '" + member.plain.string() + "' '" + (member.folder.root / "cp-copy.bin").string() + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) state.SkipWithError("cp failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kLargeMember);
}
BENCHMARK(cpPlainFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

// Keeps every run so that each figure can be set beside its reference at the end.
class Summary : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            Figures& f = figures[run.run_name.function_name];
            f.milliseconds.push_back(run.GetAdjustedRealTime());
            for (const auto& counter : run.counters) f.counters[counter.first] = counter.second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double medianMs(const std::string& name) const {
        const auto found = figures.find(name);
        if (found == figures.end() || found->second.milliseconds.empty()) return 0;
        std::vector<double> v = found->second.milliseconds;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
    double counter(const std::string& name, const std::string& key) const {
        const auto found = figures.find(name);
        if (found == figures.end()) return 0;
        const auto c = found->second.counters.find(key);
        return c == found->second.counters.end() ? 0 : c->second;
    }

private:
    struct Figures {
        std::vector<double> milliseconds;
        std::map<std::string, double> counters;
    };
    std::map<std::string, Figures> figures;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Summary summary;
    benchmark::RunSpecifiedBenchmarks(&summary);
    const double load = summary.medianMs("loadInstallation");
    const double listing = summary.medianMs("firstListing");
    const double large = summary.medianMs("listLargeDirectory");
    const double extract = summary.medianMs("extractLargeMember");
    const double raw = summary.medianMs("rawLzoDecompress");
    const double copy = summary.medianMs("copyStoredMember");
    const double cp = summary.medianMs("cpPlainFile");
    std::printf("\n");
    if (load > 0)
        std::printf("load: %.1f ms (goal 50 or less); peak heap %.0f bytes a node (goal 120 or less)\n", load,
                    summary.counter("loadInstallation", "peak_heap_bytes_per_node"));
    if (listing > 0 && load > 0)
        std::printf("first listing through the exports: %.1f ms, %.1f ms more than the load (goal 5 or less)\n",
                    listing, listing - load);
    if (large > 0) std::printf("20,000-entry directory through the exports: %.2f ms (goal 10 or less)\n", large);
    if (extract > 0 && raw > 0)
        std::printf("compressed member: %.1f ms, raw LZO %.1f ms: %.0f%% of raw (goal 90%% or more)\n", extract, raw,
                    100 * raw / extract);
    if (copy > 0 && cp > 0)
        std::printf("stored member copied out: %.1f ms, cp %.1f ms: %.0f%% of cp (goal 50%% or more)\n", copy, cp,
                    100 * cp / copy);
    benchmark::Shutdown();
    return 0;
}
