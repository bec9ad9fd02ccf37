// Throughput of reading an archive's header chunk: descrambling the payload and
// decoding the LZHUF file table, on a realistic table of a few MB; and, as the
// reference, Debian's liblhasa decoding the same table as LHA's -lh1- (the same coder
// with its tree rebuilt at 0x8000), written by the project's own encoder. The program
// ends with the two rates side by side and their ratio.
#include <benchmark/benchmark.h>
#include <lha_decoder.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
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

// The same table as LHA's -lh1- stream.
const Bytes& lh1Table() {
    static const Bytes encoded = kestran::testing::lzhufEncode(fileTable(), 0x8000);
    return encoded;
}

struct Lh1Input {
    const Bytes* bytes;
    std::size_t position;
};

std::size_t readLh1Input(void* buffer, std::size_t length, void* data) {
    auto* input = static_cast<Lh1Input*>(data);
    const std::size_t count = std::min(length, input->bytes->size() - input->position);
    std::memcpy(buffer, input->bytes->data() + input->position, count);
    input->position += count;
    return count;
}

// liblhasa's -lh1- decoder, reading the stream from memory and writing into a ready
// buffer, as the reference for BM_DecodeFileTable.
void BM_LiblhasaLh1(benchmark::State& state) {
    const Bytes& encoded = lh1Table();
    const std::size_t size = fileTable().size();
    char name[] = "-lh1-";
    LHADecoderType* type = lha_decoder_for_name(name);
    Bytes out(size);
    for (auto _ : state) {
        Lh1Input input{&encoded, 0};
        LHADecoder* decoder = lha_decoder_new(type, readLh1Input, &input, size);
        std::size_t done = 0;
        while (done < size) {
            const std::size_t got = lha_decoder_read(decoder, out.data() + done, size - done);
            if (got == 0) break;
            done += got;
        }
        lha_decoder_free(decoder);
        if (done != size) state.SkipWithError("liblhasa stopped short");
        benchmark::DoNotOptimize(out.data());
    }
    if (out != fileTable()) state.SkipWithError("liblhasa decoded other bytes");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(size));
}
BENCHMARK(BM_LiblhasaLh1)->Unit(benchmark::kMillisecond);

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

// Keeps every run's rate so that the two decoders can be set side by side at the end.
class RateKeeper : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto rate = run.counters.find("bytes_per_second");
            if (rate != run.counters.end() && run.run_type == Run::RT_Iteration && !run.error_occurred)
                rates[run.run_name.function_name].push_back(rate->second.value);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // The median of a benchmark's runs, in MB/s; 0 when it did not run.
    double median(const std::string& name) const {
        const auto found = rates.find(name);
        if (found == rates.end() || found->second.empty()) return 0;
        std::vector<double> values = found->second;
        std::sort(values.begin(), values.end());
        return values[values.size() / 2] / 1e6;
    }

private:
    std::map<std::string, std::vector<double>> rates;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RateKeeper reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double ours = reporter.median("BM_DecodeFileTable");
    const double lhasa = reporter.median("BM_LiblhasaLh1");
    if (ours > 0 && lhasa > 0)
        std::printf(
            "\nfile table decoding: %.1f MB/s; liblhasa -lh1- on the same table: %.1f MB/s; ratio %.2f "
            "(goal 2.00 or more)\n",
            ours, lhasa, ours / lhasa);
    benchmark::Shutdown();
    return 0;
}
