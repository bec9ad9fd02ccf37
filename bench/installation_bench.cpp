// Loading a whole installation (archive search, header chunks, merged tree) and
// extracting a large compressed member, on installations written once into a
// temporary folder by the test-side archive writer.
//
//   loadInstallation    the large installation (support/large_installation.h): 12
//                       archives, 60,000 files, 4,000 of them overridden by the last
//                       archive; reports the time and the peak heap of one load.
//   extractLargeMember  one 64 MiB member packed with LZO1X, fetched through
//                       KestranDB::extract (mapped window, unpacking into a fresh buffer)
//   rawLzoDecompress    the same stored bytes unpacked by lzo1x_decompress_safe alone,
//                       from memory into a ready buffer: the ceiling for the line above.
#include <benchmark/benchmark.h>
#include <lzo/lzo1x.h>
#include <malloc.h>

#include <atomic>
#include <boost/filesystem.hpp>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "installation/kestran_db.h"
#include "installation/loader.h"
#include "support/archive_builder.h"
#include "support/large_installation.h"

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

constexpr std::uint32_t kLargeMember = 64u << 20;

struct TempFolder {
    fs::path root = fs::temp_directory_path() / fs::unique_path("kestran-bench-%%%%-%%%%");
    TempFolder() { fs::create_directories(root); }
    ~TempFolder() {
        boost::system::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

const TempFolder& installation() {
    static const TempFolder folder = [] {
        TempFolder f;
        kestran::testing::writeLargeInstallation(f.root.string());
        return f;
    }();
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
        nodes = set->tree().size();
        benchmark::DoNotOptimize(nodes);
    }
    state.counters["nodes"] = double(nodes);
    state.counters["peak_heap_MiB"] = double(peak) / (1 << 20);
}
BENCHMARK(loadInstallation)->Unit(benchmark::kMillisecond);

// 64 MiB of texture-like bytes: smooth gradients with noise, packing to about a third.
Bytes largeContents() {
    Bytes bytes(kLargeMember);
    std::uint32_t x = 7;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = static_cast<std::uint8_t>((i / 256) % 64 + ((x >> 28) & 3) * ((i & 15) == 0));
    }
    return bytes;
}

struct LargeMember {
    TempFolder folder;
    Bytes stored;
    std::shared_ptr<kestran_db::KestranDB> set;
    LargeMember() {
        const Bytes contents = largeContents();
        stored = kestran::testing::compressLzo(contents);
        ArchiveBuilder builder(0);
        builder.compressedFile("textures\\large.dds", contents);
        builder.write((folder.root / "large.db0").string());
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
BENCHMARK(extractLargeMember)->Unit(benchmark::kMillisecond)->UseRealTime();

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
BENCHMARK(rawLzoDecompress)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
