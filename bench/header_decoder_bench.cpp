// Throughput of reading an archive's header chunk: descrambling the payload and
// decoding the LZHUF file table, on a realistic table of a few MB.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive/bit_stack.h"
#include "archive/header_descrambler.h"
#include "support/archive_builder.h"
#include "support/lzhuf_encoder.h"

namespace {

using kestran::testing::Bytes;

// 40000 records in nested folders, about 2 MB: the size of a large archive's table.
const Bytes& fileTable() {
    static const Bytes table = [] {
        const char* const tops[] = {"textures", "meshes", "sounds", "config", "scripts", "levels", "anims"};
        const char* const subs[] = {"terrain", "props", "characters", "interface", "effects", "weather", "vehicles"};
        const char* const stems[] = {"grass", "rock_wall", "door_wood", "crate_small", "wind_loop", "lamp",
                                     "fence_old", "barrel", "radio_chatter", "tree_pine", "hammer", "bucket"};
        const char* const exts[] = {".dds", ".thm", ".mesh", ".anim", ".ogg", ".ltx", ".xml", ".script"};
        Bytes out;
        std::uint32_t x = 1, offset = 0x100;
        for (int r = 0; r < 40000; ++r) {
            x = x * 1664525u + 1013904223u;
            kestran::testing::TableRecord record;
            record.name = std::string(tops[r / 6000 % 7]) + "\\" + subs[r / 700 % 7] + "\\" + stems[(x >> 8) % 12] + "_" +
                          std::to_string(r % 700) + exts[(x >> 16) % 8];
            if (r % 700 == 0) record.name = std::string(tops[r / 6000 % 7]) + "\\" + subs[r / 700 % 7] + "\\";
            record.sizeReal = (x >> 12) % 400000 + 64;
            record.sizeCompressed = (x >> 20) % 4 == 0 ? record.sizeReal : record.sizeReal / 2 + (x % 97);
            record.crc = x * 2654435761u;
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
