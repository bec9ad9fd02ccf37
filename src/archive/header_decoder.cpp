// Decoding an archive's file table: LZHUF with an adaptive Huffman tree.
//
//   symbol   := Huffman code walked from the root, one bit per level
//   literal  := symbol 0..255, the byte itself
//   match    := symbol 256..313 (length symbol - 253), then a distance:
//               8 bits i, then distanceCodeLength(i) - 2 more bits appended to i;
//               distance = distanceCode(i) * 64 + (low six bits of i)
//   a match copies from window position (write position - distance - 1)
#include <cstring>

#include "archive/adaptive_huffman_tree.h"
#include "archive/bit_stack.h"
#include "archive/header_decoder.h"
#include "common/failure.h"

namespace kestran::lzhuf {

void initialWindow(std::uint8_t (&window)[kWindowSize]) {
    std::memset(window, ' ', kFirstWritePosition);
    std::memset(window + kFirstWritePosition, 0, kWindowSize - kFirstWritePosition);
}

namespace {
// The distance-code classes: where each starts among first bytes, and its code length.
// A code of length L covers 2^(8 - L) consecutive first bytes; the classes hand out
// the upper-six-bit values 0 to 63 in order.
struct DistanceClass {
    unsigned firstByte;
    unsigned codeLength;
};
constexpr DistanceClass kClasses[] = {{0x00, 3}, {0x20, 4}, {0x50, 5}, {0x90, 6}, {0xC0, 7}, {0xF0, 8}};

struct DistanceTables {
    std::uint8_t code[256];
    std::uint8_t length[256];
    DistanceTables() {
        unsigned upper = 0;
        for (unsigned c = 0; c < 6; ++c) {
            const unsigned runLength = 1u << (8 - kClasses[c].codeLength);  // first bytes per code
            const unsigned last = c + 1 < 6 ? kClasses[c + 1].firstByte : 256;
            for (unsigned b = kClasses[c].firstByte; b < last; b += runLength, ++upper) {
                for (unsigned k = 0; k < runLength; ++k) {
                    code[b + k] = static_cast<std::uint8_t>(upper);
                    length[b + k] = static_cast<std::uint8_t>(kClasses[c].codeLength);
                }
            }
        }
    }
};
const DistanceTables& distanceTables() {
    static const DistanceTables tables;
    return tables;
}
}  // namespace

std::uint8_t distanceCode(std::uint8_t firstByte) { return distanceTables().code[firstByte]; }
std::uint8_t distanceCodeLength(std::uint8_t firstByte) { return distanceTables().length[firstByte]; }

}  // namespace kestran::lzhuf

namespace kestran {

namespace {
// Every symbol costs at least one bit and a match at least nine more, so one input bit
// yields at most 6 output bytes (60 bytes per 10 bits). A size beyond that cannot be
// reached: the input is sure to run out first, so fail before doing the work.
constexpr std::uint64_t kMostBytesPerBit = 6;
}  // namespace

void BitStack::decode(std::uint32_t unpackedSize, std::vector<std::uint8_t>& output) {
    using namespace lzhuf;
    if (output.size() >= unpackedSize) return;
    const std::uint64_t missing = unpackedSize - output.size();
    if (missing > bitsLeft() * kMostBytesPerBit) throw Failure(kBitstackOutOfRange);

    AdaptiveHuffmanTree tree;
    std::uint8_t window[kWindowSize];
    initialWindow(window);
    unsigned writePosition = kFirstWritePosition;

    auto emit = [&](std::uint8_t byte) {
        output.push_back(byte);
        window[writePosition] = byte;
        writePosition = (writePosition + 1) & kWindowMask;
    };

    while (output.size() < unpackedSize) {
        int node = tree.son(AdaptiveHuffmanTree::kRoot);
        while (node < AdaptiveHuffmanTree::kNodeCount) node = tree.son(node + readBit());
        const int symbol = node - AdaptiveHuffmanTree::kNodeCount;
        tree.update(symbol);

        if (symbol < kFirstMatchSymbol) {
            emit(static_cast<std::uint8_t>(symbol));
            continue;
        }
        unsigned i = readByte();
        const unsigned upper = static_cast<unsigned>(distanceCode(static_cast<std::uint8_t>(i))) << 6;
        for (int extra = distanceCodeLength(static_cast<std::uint8_t>(i)) - 2; extra > 0; --extra)
            i = (i << 1) | static_cast<unsigned>(readBit());
        const unsigned distance = upper | (i & 0x3F);

        const unsigned start = (writePosition - distance - 1) & kWindowMask;
        const unsigned length = static_cast<unsigned>(symbol - kMatchSymbolBias);
        for (unsigned k = 0; k < length; ++k) emit(window[(start + k) & kWindowMask]);
    }
}

}  // namespace kestran
