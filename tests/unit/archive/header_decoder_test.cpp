#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "archive/adaptive_huffman_tree.h"
#include "archive/bit_stack.h"
#include "common/failure.h"
#include "support/lzhuf_encoder.h"

namespace kestran {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::LzhufWriter;

// Symbols decoded before the first tree rebuild: the root's weight starts at 314 and
// grows by one per symbol up to the limit.
constexpr std::size_t kSymbolsBeforeRebuild = AdaptiveHuffmanTree::kFrequencyLimit - AdaptiveHuffmanTree::kSymbolCount;

Bytes decode(const Bytes& encoded, std::uint32_t unpackedSize) {
    BitStack bits(encoded.data(), encoded.size());
    Bytes out;
    bits.decode(unpackedSize, out);
    return out;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes readFixture(const std::string& name) {
    std::ifstream in(std::string(KESTRAN_FIXTURES_DIR) + "/lha/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file table of the usual shape: u16 length, three u32, a backslashed name, u32 offset.
Bytes sampleTable(int records) {
    Bytes table;
    auto u32 = [&table](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) table.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    const char* const dirs[] = {"textures\\terrain\\", "meshes\\props\\", "sounds\\ambient\\", "config\\text\\"};
    const char* const stems[] = {"grass", "rock", "door", "crate", "wind", "lamp", "fence"};
    std::uint32_t x = 12345, offset = 0x1000;
    for (int r = 0; r < records; ++r) {
        x = x * 1664525u + 1013904223u;
        const std::string name = std::string(dirs[(x >> 8) % 4]) + stems[(x >> 12) % 7] + "_" + std::to_string(r) +
                                 (r % 50 == 0 ? "\\" : ".dds");
        const std::uint32_t size = x >> 14;
        table.push_back(static_cast<std::uint8_t>(16 + name.size()));
        table.push_back(0);
        u32(size);
        u32(size - (r % 3 == 0 ? 0 : size / 3));
        u32(x);
        table.insert(table.end(), name.begin(), name.end());
        u32(offset);
        offset += size;
    }
    return table;
}

// jlha's LHA -lh1- coder is an independent LZHUF implementation (its tree rebuilds at
// 0x8000, which a table of fewer symbols than kSymbolsBeforeRebuild never reaches).
TEST(HeaderDecoder, DecodesTheIndependentCodersStreamExactly) {
    const Bytes plain = readFixture("file_table.bin");
    const Bytes encoded = readFixture("file_table.lh1");
    ASSERT_GT(plain.size(), 10000u);
    EXPECT_EQ(decode(encoded, static_cast<std::uint32_t>(plain.size())), plain);
}

TEST(HeaderDecoder, RoundTripsTablesAcrossManyTreeRebuilds) {
    for (int records : {1, 40, 20000}) {
        const Bytes plain = sampleTable(records);
        EXPECT_EQ(decode(testing::lzhufEncode(plain), static_cast<std::uint32_t>(plain.size())), plain)
            << records << " records";
    }
    // Literals and matches in skewed proportions, long enough for several rebuilds.
    LzhufWriter writer;
    std::uint32_t x = 99;
    while (writer.symbolCount() < 5 * kSymbolsBeforeRebuild) {
        x = x * 1103515245u + 12345u;
        if ((x >> 28) < 3) {
            writer.match((x >> 8) % 4096, 3 + (x >> 20) % 58);
        } else {
            writer.literal(static_cast<std::uint8_t>("etaoin shrdlu\\.\x01"[(x >> 16) % 16]));
        }
    }
    const Bytes expected = writer.decodedSoFar();
    EXPECT_EQ(decode(writer.finish(), static_cast<std::uint32_t>(expected.size())), expected);
}

// Decoding may stop at any size and go on where it stopped (a table is checked a slice
// at a time): the same bytes as in one go, whatever the slices, across tree rebuilds
// and matches that reach back into earlier slices or the fresh window.
TEST(HeaderDecoder, DecodingInSlicesGivesTheBytesOfOneGo) {
    const Bytes plain = sampleTable(20000);
    const Bytes encoded = testing::lzhufEncode(plain);
    for (const std::size_t slice : {std::size_t{1}, std::size_t{7}, std::size_t{4096}, std::size_t{65536}}) {
        SCOPED_TRACE(slice);
        BitStack bits(encoded.data(), encoded.size());
        Bytes output;
        while (output.size() < plain.size()) {
            const std::size_t next = std::min(plain.size(), output.size() + slice);
            bits.decode(static_cast<std::uint32_t>(next), output);
            ASSERT_GE(output.size(), next);
        }
        EXPECT_TRUE(Bytes(output.begin(), output.begin() + static_cast<std::ptrdiff_t>(plain.size())) == plain);
    }
}

// Streams written symbol by symbol, with the decoded bytes stated outright.
struct WindowCase {
    const char* what;
    std::function<void(LzhufWriter&)> write;
    Bytes expected;
};

TEST(HeaderDecoder, CopiesMatchesFromTheWindow) {
    auto literals = [](LzhufWriter& w, const std::string& s) {
        for (char c : s) w.literal(static_cast<std::uint8_t>(c));
    };
    Bytes cycle;
    for (int i = 0; i < 4096; ++i) cycle.push_back(static_cast<std::uint8_t>(i * 7));
    Bytes afterCycle = cycle;
    afterCycle.insert(afterCycle.end(), {0, 7, 14, 21});

    const WindowCase cases[] = {
        {"unwritten positions below 4036 are spaces",
         [&](LzhufWriter& w) {
             literals(w, "A");
             w.match(10, 4);
         },
         text("A    ")},
        {"unwritten positions from 4036 on are zeros", [&](LzhufWriter& w) { w.match(4091, 3); },  // start 4040
         Bytes{0, 0, 0}},
        {"a match across 4035/4036 reads spaces, then what was written there",
         [&](LzhufWriter& w) {
             literals(w, "XY");
             w.match(3, 5);
         },  // start 4034
         text("XY  XY ")},
        {"distance 0 repeats the last byte",
         [&](LzhufWriter& w) {
             literals(w, "ab");
             w.match(0, 5);
         },
         text("abbbbbb")},
        {"a match overlapping its own output repeats a pattern",
         [&](LzhufWriter& w) {
             literals(w, "abc");
             w.match(2, 60);
         },
         [] {
             Bytes b;
             for (int i = 0; i < 63; ++i) b.push_back(static_cast<std::uint8_t>("abc"[i % 3]));
             return b;
         }()},
        {"distance 4095 reaches the byte written 4096 bytes before",
         [&](LzhufWriter& w) {
             for (std::uint8_t b : cycle) w.literal(b);
             w.match(4095, 4);
         },
         afterCycle},
    };
    for (const WindowCase& c : cases) {
        LzhufWriter writer;
        c.write(writer);
        EXPECT_EQ(decode(writer.finish(), static_cast<std::uint32_t>(c.expected.size())), c.expected) << c.what;
    }
}

TEST(HeaderDecoder, StopsBetweenSymbolsAndKeepsTheWholeLastMatch) {
    LzhufWriter writer;
    for (char c : std::string("abc")) writer.literal(static_cast<std::uint8_t>(c));
    writer.match(0, 60);
    writer.literal('z');
    const Bytes encoded = writer.finish();

    EXPECT_EQ(decode(encoded, 3), text("abc"));
    const Bytes runsPast = decode(encoded, 4);  // the match is emitted whole; 'z' is not read
    EXPECT_EQ(runsPast.size(), 63u);
    EXPECT_EQ(runsPast.back(), 'c');
    EXPECT_EQ(decode(encoded, 64).size(), 64u);
    EXPECT_EQ(decode(encoded, 64).back(), 'z');

    // Output already holding the size: nothing is read, even from no input.
    BitStack empty(nullptr, 0);
    Bytes out = text("xyz");
    empty.decode(3, out);
    EXPECT_EQ(out, text("xyz"));
    // Appending stops once the whole vector holds the size.
    BitStack bits(encoded.data(), encoded.size());
    out = text("xy");
    bits.decode(4, out);
    EXPECT_EQ(out, text("xyab"));
}

// Where the input runs out: the writer's bit counts tell where each symbol and each
// position lies, and the stream is cut at a byte boundary inside the chosen part.
struct Cut {
    Bytes encoded;
    std::size_t bytesBefore;  // decoded before the part that is cut
};

enum class CutInside { Symbol, PositionFirstByte, PositionExtraBits, BeforeNextSymbol };

Cut cutStream(CutInside where) {
    // At least one literal first, so a failure after it cannot be the decoder's up-front size check.
    for (int prefix = 1; prefix < 200; ++prefix) {
        LzhufWriter writer;
        for (int i = 0; i < prefix; ++i) writer.literal(static_cast<std::uint8_t>('a' + i % 26));
        const std::size_t before = writer.decodedSoFar().size();
        const std::size_t start = writer.bitCount();
        std::size_t from = start, to = start;
        if (where == CutInside::Symbol) {
            writer.literal('q');
            to = writer.bitCount();
            ++from;
        } else if (where == CutInside::BeforeNextSymbol) {
            if (start % 8 != 0) continue;
            Bytes encoded = writer.finish();
            return {encoded, before};
        } else {
            // Distance 4000 has upper bits 62: an 8-bit code, then six plain bits.
            LzhufWriter probe = writer;
            probe.match(4000, 3);
            const std::size_t positionStart = probe.bitCount() - 14;
            from = where == CutInside::PositionFirstByte ? positionStart + 1 : positionStart + 9;
            to = where == CutInside::PositionFirstByte ? positionStart + 8 : positionStart + 14;
            writer = probe;
        }
        const std::size_t cutBits = (from + 7) / 8 * 8;
        if (cutBits >= to) continue;
        Bytes encoded = writer.finish();
        encoded.resize(cutBits / 8);
        return {encoded, before};
    }
    ADD_FAILURE() << "no cut found";
    return {};
}

TEST(HeaderDecoder, RunningOutOfInputIsOutOfRangeWhereverItHappens) {
    const std::pair<CutInside, const char*> cases[] = {
        {CutInside::Symbol, "inside a symbol"},
        {CutInside::PositionFirstByte, "inside a position's first byte"},
        {CutInside::PositionExtraBits, "inside a position's further bits"},
        {CutInside::BeforeNextSymbol, "at the start of the next symbol"},
    };
    for (const auto& [where, what] : cases) {
        const Cut cut = cutStream(where);
        BitStack bits(cut.encoded.data(), cut.encoded.size());
        Bytes out;
        try {
            bits.decode(static_cast<std::uint32_t>(cut.bytesBefore + 3), out);
            ADD_FAILURE() << what << ": no failure";
        } catch (const Failure& f) {
            EXPECT_STREQ(f.what(), "bitstack out of range") << what;
            EXPECT_EQ(out.size(), cut.bytesBefore) << what << ": failed elsewhere";
        }
    }
}

// With a 32-bit size_t an unpacked size near 4 GiB, plus room for the last match,
// wrapped to a few bytes: the output was sized for those few and written far past them.
// Such a size passes the 6-bytes-per-bit test with some 89.5 MB of input, and is
// refused before anything is decoded.
TEST(HeaderDecoder, UnpackedSizeTheProcessCannotHoldIsRefused) {
    if (sizeof(std::size_t) > 4) GTEST_SKIP() << "a 64-bit size_t holds any unpacked size";
    const std::uint32_t unpackedSize = 0xFFFFFFFFu;
    const Bytes zeros(static_cast<std::size_t>(unpackedSize / 48 + 1), 0);  // 6 bytes per bit
    BitStack bits(zeros.data(), zeros.size());
    Bytes out;
    try {
        bits.decode(unpackedSize, out);
        ADD_FAILURE() << "decoded a table this process cannot hold";
    } catch (const Failure& f) {
        EXPECT_STREQ(f.what(), "unpacked index too large for this process");
    }
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(bits.bitsLeft(), std::uint64_t{zeros.size()} * 8);  // nothing read
}

// Far from the end the decoder reads whole words at a time, near it bit by bit: a
// stream cut anywhere must still fail exactly where the bits run out, with every symbol
// that did fit emitted, whatever part of the stream the cut falls in.
TEST(HeaderDecoder, AStreamCutAnywhereFailsAtItsLastWholeSymbol) {
    LzhufWriter writer;
    std::vector<std::pair<std::size_t, std::size_t>> ends;  // (bits used, bytes decoded) after each symbol
    std::uint32_t x = 99;
    for (int i = 0; i < 6000; ++i) {
        x = x * 1103515245u + 12345u;
        if (i > 10 && (x >> 28) < 2)
            writer.match((x >> 4) % 200, 3 + (x >> 12) % 8);
        else
            writer.literal(static_cast<std::uint8_t>('a' + (x >> 16) % 20));
        ends.emplace_back(writer.bitCount(), writer.decodedSoFar().size());
    }
    const std::size_t total = writer.decodedSoFar().size();
    const Bytes whole = writer.finish();
    // From a sixteenth on, so that what is missing stays within what the bits left could
    // hold (a size beyond that fails before anything is read).
    std::vector<std::size_t> cuts;
    for (std::size_t cut = whole.size() / 16; cut < whole.size(); cut += whole.size() / 97 + 1) cuts.push_back(cut);
    for (std::size_t back : {1, 7, 8, 9, 15, 16, 17, 33})
        cuts.push_back(whole.size() - back);  // where reading turns careful
    for (const std::size_t cut : cuts) {
        SCOPED_TRACE(cut);
        const Bytes part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        std::size_t expected = 0;
        for (const auto& [bits, bytes] : ends)
            if (bits <= cut * 8) expected = bytes;
        BitStack stream(part.data(), part.size());
        Bytes out;
        try {
            stream.decode(static_cast<std::uint32_t>(total), out);
            ADD_FAILURE() << "no failure";
        } catch (const Failure& f) {
            EXPECT_STREQ(f.what(), "bitstack out of range");
        }
        EXPECT_EQ(out.size(), expected);
        EXPECT_EQ(stream.bitsLeft(), 0u);
    }
}

TEST(HeaderDecoder, TreeIsRebuiltWhenTheRootReaches0x4000) {
    AdaptiveHuffmanTree tree;
    EXPECT_EQ(tree.frequency(AdaptiveHuffmanTree::kRoot), 314);
    for (std::size_t i = 0; i < kSymbolsBeforeRebuild; ++i) tree.update(static_cast<int>(i % 7));
    EXPECT_EQ(tree.frequency(AdaptiveHuffmanTree::kRoot), 0x4000);
    // Rebuilt first, every leaf's weight halved rounding up: symbols 0..4 had 2297,
    // 5 and 6 had 2296, the other 307 had 1; so 5 * 1149 + 2 * 1148 + 307, plus this one.
    tree.update(0);
    EXPECT_EQ(tree.frequency(AdaptiveHuffmanTree::kRoot), 8349);
}

// The bytes behind literals.lh1 (see its generator): 36000 bytes in which no 3 bytes
// repeat, so the independent coder wrote them all as literals.
Bytes literalRun() {
    constexpr std::size_t kCount = 36000;
    std::vector<bool> seen(1u << 24);
    Bytes out;
    std::uint32_t x = 20240607;
    while (out.size() < kCount) {
        x = x * 1103515245u + 12345u;
        const std::uint32_t r = x >> 16;
        const auto b = static_cast<std::uint8_t>(0x20 + ((r * r) >> 26));
        if (out.size() >= 2) {
            const std::uint32_t key = (std::uint32_t{out[out.size() - 2]} << 16) | (std::uint32_t{out.back()} << 8) | b;
            if (seen[key]) continue;
            seen[key] = true;
        }
        out.push_back(b);
    }
    return out;
}

// The independent coder rebuilds at 0x8000. Coding its literals with our tree set to
// that limit gives its stream bit for bit, past its first rebuild: so our rebuild is
// the published one. Our decoder, rebuilding at 0x4000, parts ways with that stream
// right after its own first rebuild.
TEST(HeaderDecoder, RebuildMatchesTheIndependentCoderAndItsLimitDecidesTheBytes) {
    const Bytes plain = literalRun();
    const Bytes oracle = readFixture("literals.lh1");
    ASSERT_GT(plain.size(), std::size_t{0x8000 - AdaptiveHuffmanTree::kSymbolCount});

    LzhufWriter publishedModel(0x8000);
    for (std::uint8_t b : plain) publishedModel.literal(b);
    EXPECT_EQ(publishedModel.finish(), oracle);

    BitStack bits(oracle.data(), oracle.size());
    Bytes out;
    try {
        bits.decode(static_cast<std::uint32_t>(plain.size()), out);
    } catch (const Failure&) {
        // the wrong model may run out of input; what it decoded so far still counts
    }
    // Symbol 16071 is still decoded with the old tree (its update rebuilds); the next
    // one is the first read through the rebuilt tree, and here it already differs.
    const auto firstDifference = std::mismatch(out.begin(), out.end(), plain.begin()).first - out.begin();
    EXPECT_EQ(static_cast<std::size_t>(firstDifference), kSymbolsBeforeRebuild + 1);

    LzhufWriter archiveModel;
    for (std::uint8_t b : plain) archiveModel.literal(b);
    EXPECT_EQ(decode(archiveModel.finish(), static_cast<std::uint32_t>(plain.size())), plain);
}

}  // namespace
}  // namespace kestran
