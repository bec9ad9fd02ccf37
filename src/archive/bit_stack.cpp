// Decoding an archive's file table: LZHUF with an adaptive Huffman tree.
//
//   symbol   := Huffman code walked from the root, one bit per level
//   literal  := symbol 0..255, the byte itself
//   match    := symbol 256..313 (length symbol - 253), then a distance:
//               8 bits i, then distanceCodeLength(i) - 2 more bits appended to i;
//               distance = distanceCode(i) * 64 + (low six bits of i)
//   a match copies from window position (write position - distance - 1)
#include "archive/bit_stack.h"

#include <algorithm>
#include <utility>

#include "archive/adaptive_huffman_tree.h"
#include "archive/header_decoder.h"
#include "common/failure.h"

namespace kestran {

void throwBitstackOutOfRange() { throw Failure(FailureKind::Damaged, kBitstackOutOfRange); }

BitStack::BitStack(const std::uint8_t* data, std::size_t size) : reader_(data, size) {}

BitStack::BitStack(std::vector<std::uint8_t> bytes) : owned_(std::move(bytes)), reader_(owned_.data(), owned_.size()) {}

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
    if (missing > bitsLeft() * kMostBytesPerBit) throwBitstackOutOfRange();

    // Counted in 64 bits: with a 32-bit size_t an unpacked size near 4 GiB plus the
    // last match would wrap to a few bytes. A table this process cannot hold at all is
    // refused before anything is decoded.
    const std::uint64_t lastByte64 = std::uint64_t{unpackedSize} + kLongestMatch;
    if (lastByte64 > output.max_size()) throw Failure(FailureKind::TooLarge, kIndexTooLarge);
    const std::size_t lastByte = static_cast<std::size_t>(lastByte64);

    const DistanceTables& distances = distanceTables();
    AdaptiveHuffmanTree tree;
    std::uint8_t window[kWindowSize];
    initialWindow(window);
    unsigned writePosition = kFirstWritePosition;

    // The hot loop reads through a local copy of the reader and writes through a local
    // pointer, so that both stay in registers; the BitStack's reader and the vector's
    // size are brought up to date on every way out, a failure included.
    BitReader bits = reader_;
    std::size_t written = output.size();
    // Room for one more symbol: a match writes at most kLongestMatch bytes. The vector
    // grows with the output actually decoded, never ahead of it by more than a step.
    constexpr std::size_t kGrowthStep = 64 * 1024;
    std::uint8_t* out = output.data();
    auto makeRoom = [&] {
        output.resize(std::min(std::max(output.size() * 2, written + kGrowthStep), lastByte));
        out = output.data();
    };

    struct Settle {
        BitReader& reader;
        const BitReader& bits;
        std::vector<std::uint8_t>& output;
        const std::size_t& written;
        ~Settle() {
            reader = bits;
            output.resize(written);
        }
    } settle{reader_, bits, output, written};

    auto emit = [&](std::uint8_t byte) {
        out[written++] = byte;
        window[writePosition] = byte;
        writePosition = (writePosition + 1) & kWindowMask;
    };

    while (written < unpackedSize) {
        if (output.size() - written < kLongestMatch) makeRoom();

        int node = tree.son(AdaptiveHuffmanTree::kRoot);
        while (node < AdaptiveHuffmanTree::kNodeCount) node = tree.son(node + static_cast<int>(bits.readBit()));
        const int symbol = node - AdaptiveHuffmanTree::kNodeCount;
        tree.update(symbol);

        if (symbol < kFirstMatchSymbol) {
            emit(static_cast<std::uint8_t>(symbol));
            continue;
        }
        unsigned i = bits.readBits(8);
        const unsigned upper = static_cast<unsigned>(distances.code[i]) << 6;
        for (int extra = distances.length[i] - 2; extra > 0; --extra) i = (i << 1) | bits.readBit();
        const unsigned distance = upper | (i & 0x3F);

        const unsigned start = (writePosition - distance - 1) & kWindowMask;
        const unsigned length = static_cast<unsigned>(symbol - kMatchSymbolBias);
        for (unsigned k = 0; k < length; ++k) emit(window[(start + k) & kWindowMask]);
    }
}

}  // namespace kestran
