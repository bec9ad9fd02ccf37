// Throughput of reading an archive's header chunk: descrambling the payload and
// decoding the LZHUF file table, on a realistic table of a few MB.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/bit_stack.h"
#include "archive/header_descrambler.h"
#include "support/archive_builder.h"
#include "support/lzhuf_encoder.h"

namespace {

using kestran::testing::Bytes;

// 60000 records three folders deep with game-like names (wall_01234_bump.dds in
// textures, terrain, rock), sizes, crc and offsets varied as real archives have them:
// about 3.4 MB decoded, packing to about half that.
const Bytes& fileTable() {
    static const Bytes table = [] {
        const char* const tops[] = {"textures", "meshes", "sounds", "config", "scripts", "levels", "anims", "shaders"};
        const char* const mids[] = {"terrain", "props",    "characters", "interface", "effects",
                                    "weather", "vehicles", "buildings",  "weapons",   "nature"};
        const char* const lows[] = {"rock", "wood", "metal", "glass", "cloth", "water", "sand", "brick", "paint"};
        const char* const stems[] = {"wall",   "door",   "crate", "lamp",   "fence", "barrel", "tree",
                                     "hammer", "bucket", "radio", "window", "roof",  "floor",  "pipe"};
        const char* const kinds[] = {"", "_bump", "_nmap", "_spec", "_lod1", "_det"};
        const char* const exts[] = {".dds", ".thm", ".ogf", ".omf", ".ogg", ".ltx", ".xml", ".script"};
        Bytes out;
        std::uint32_t x = 12345, offset = 0x1000;
        for (int r = 0; r < 60000; ++r) {
            x = x * 1664525u + 1013904223u;
            kestran::testing::TableRecord record;
            const int folder = r / 150;  // 150 files a folder, 400 folders
            char number[8];
            std::snprintf(number, sizeof number, "%05u", (x >> 9) % 100000);
            record.name = std::string(tops[folder / 50 % 8]) + "\\" + mids[folder / 5 % 10] + "\\" + lows[folder % 9] +
                          "\\" + stems[(x >> 4) % 14] + "_" + number + kinds[(x >> 24) % 6] + exts[(x >> 28) % 8];
            if (r % 150 == 0)
                record.name =
                    std::string(tops[folder / 50 % 8]) + "\\" + mids[folder / 5 % 10] + "\\" + lows[folder % 9] + "\\";
            record.sizeReal = r % 150 == 0 ? 0 : (x >> 11) % 300000 + 40;
            record.sizeCompressed = (x >> 21) % 3 == 0 ? record.sizeReal : record.sizeReal / 3 + (x >> 5) % 4096;
            record.crc = r % 150 == 0 ? 0 : (x ^ (x >> 13)) * 2654435761u;
            record.offset = offset;
            offset += record.sizeCompressed;
            const Bytes bytes = kestran::testing::encodeRecord(record);
            out.insert(out.end(), bytes.begin(), bytes.end());
        }
        return out;
    }();
    return table;
}

const Bytes& encodedTable() {
    static const Bytes encoded = kestran::testing::lzhufEncode(fileTable());
    return encoded;
}

void BM_DecodeFileTable(benchmark::State& state) {
    const Bytes& encoded = encodedTable();
    const auto size = static_cast<std::uint32_t>(fileTable().size());
    for (auto _ : state) {
        kestran::BitStack bits(encoded.data(), encoded.size());
        std::vector<std::uint8_t> out;
        out.reserve(5 * encoded.size());
        bits.decode(size, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * size);
    state.counters["table_bytes"] = static_cast<double>(size);
    state.counters["encoded_bytes"] = static_cast<double>(encoded.size());
    state.counters["encoded_per_second"] =
        benchmark::Counter(static_cast<double>(encoded.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_DecodeFileTable)->Unit(benchmark::kMillisecond);

void BM_DescrambleHeader(benchmark::State& state) {
    Bytes payload = encodedTable();
    const int keyVariant = static_cast<int>(state.range(0));
    for (auto _ : state) {
        kestran::HeaderDescrambler::descramble(payload.data(), static_cast<std::int32_t>(payload.size()), keyVariant);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(payload.size()));
}
BENCHMARK(BM_DescrambleHeader)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The test-side encoder, which test archives and fuzz seeds go through.
void BM_EncodeFileTable(benchmark::State& state) {
    const Bytes& table = fileTable();
    for (auto _ : state) benchmark::DoNotOptimize(kestran::testing::lzhufEncode(table).data());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(table.size()));
}
BENCHMARK(BM_EncodeFileTable)->Unit(benchmark::kMillisecond);

}  // namespace
