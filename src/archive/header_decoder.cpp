// Decoding an archive's file table: LZHUF with an adaptive Huffman tree.
//
//   symbol   := Huffman code walked from the root, one bit per level
//   literal  := symbol 0..255, the byte itself
//   match    := symbol 256..313 (length symbol - 253), then a distance:
//               8 bits i, then distanceCodeLength(i) - 2 more bits appended to i;
//               distance = distanceCode(i) * 64 + (low six bits of i)
//   a match copies from window position (write position - distance - 1)
#include <algorithm>
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

    const DistanceTables& distances = distanceTables();
    AdaptiveHuffmanTree tree;
    std::uint8_t window[kWindowSize];
    initialWindow(window);
    unsigned writePosition = kFirstWritePosition;

    // The hot loop reads bits through a local bit index and writes through a local
    // pointer, so that both stay in registers; the BitStack's position and the
    // vector's size are brought up to date on every way out, a failure included.
    const std::uint8_t* const bytes = current_;
    int consumedInCurrent = 0;
    for (unsigned m = 0x80; m != mask_; m >>= 1) ++consumedInCurrent;
    std::uint64_t bit = static_cast<std::uint64_t>(consumedInCurrent);
    const std::uint64_t endBit = static_cast<std::uint64_t>(end_ - current_) * 8;

    std::size_t written = output.size();
    // Room for one more symbol: a match writes at most kLongestMatch bytes. The vector
    // grows with the output actually decoded, never ahead of it by more than a step.
    constexpr std::size_t kGrowthStep = 64 * 1024;
    // Counted in 64 bits: with a 32-bit size_t an unpacked size near 4 GiB plus the
    // last match would wrap to a few bytes. A table this process cannot hold at all is
    // refused before anything is decoded.
    const std::uint64_t lastByte64 = std::uint64_t{unpackedSize} + kLongestMatch;
    if (lastByte64 > output.max_size()) throw Failure(kIndexTooLarge);
    const std::size_t lastByte = static_cast<std::size_t>(lastByte64);
    std::uint8_t* out = output.data();
    auto makeRoom = [&] {
        output.resize(std::min(std::max(output.size() * 2, written + kGrowthStep), lastByte));
        out = output.data();
    };

    struct Settle {
        BitStack& bits;
        std::vector<std::uint8_t>& output;
        const std::uint8_t* bytes;
        const std::uint64_t& bit;
        const std::size_t& written;
        ~Settle() {
            bits.current_ = bytes + bit / 8;
            bits.mask_ = static_cast<std::uint8_t>(0x80u >> (bit % 8));
            output.resize(written);
        }
    } settle{*this, output, bytes, bit, written};

    auto readBitFast = [&]() -> unsigned {
        if (bit >= endBit) throw Failure(kBitstackOutOfRange);
        const unsigned value = (bytes[bit >> 3] >> (7 - (bit & 7))) & 1u;
        ++bit;
        return value;
    };
    auto emit = [&](std::uint8_t byte) {
        out[written++] = byte;
        window[writePosition] = byte;
        writePosition = (writePosition + 1) & kWindowMask;
    };

    while (written < unpackedSize) {
        if (output.size() - written < kLongestMatch) makeRoom();

        int node = tree.son(AdaptiveHuffmanTree::kRoot);
        while (node < AdaptiveHuffmanTree::kNodeCount) node = tree.son(node + static_cast<int>(readBitFast()));
        const int symbol = node - AdaptiveHuffmanTree::kNodeCount;
        tree.update(symbol);

        if (symbol < kFirstMatchSymbol) {
            emit(static_cast<std::uint8_t>(symbol));
            continue;
        }
        unsigned i = 0;
        for (int b = 0; b < 8; ++b) i = (i << 1) | readBitFast();
        const unsigned upper = static_cast<unsigned>(distances.code[i]) << 6;
        for (int extra = distances.length[i] - 2; extra > 0; --extra) i = (i << 1) | readBitFast();
        const unsigned distance = upper | (i & 0x3F);

        const unsigned start = (writePosition - distance - 1) & kWindowMask;
        const unsigned length = static_cast<unsigned>(symbol - kMatchSymbolBias);
        for (unsigned k = 0; k < length; ++k) emit(window[(start + k) & kWindowMask]);
    }
}

}  // namespace kestran
