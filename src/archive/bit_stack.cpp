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
#include <cstring>
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

void BitStack::checkClaim(std::uint32_t unpackedSize, std::size_t decoded) const {
    using namespace lzhuf;
    if (decoded >= unpackedSize) return;
    const std::uint64_t missing = unpackedSize - decoded;
    if (missing > bitsLeft() * kMostBytesPerBit) throwBitstackOutOfRange();
    // Counted in 64 bits: with a 32-bit size_t an unpacked size near 4 GiB plus the
    // last match would wrap to a few bytes. A table this process cannot hold at all is
    // refused before anything is decoded.
    if (std::uint64_t{unpackedSize} + kLongestMatch > std::vector<std::uint8_t>().max_size())
        throw Failure(FailureKind::TooLarge, kIndexTooLarge);
}

void BitStack::decode(std::uint32_t unpackedSize, std::vector<std::uint8_t>& output) {
    using namespace lzhuf;
    if (output.size() >= unpackedSize) return;
    checkClaim(unpackedSize, output.size());
    const std::size_t lastByte = static_cast<std::size_t>(std::uint64_t{unpackedSize} + kLongestMatch);

    const DistanceTables& distances = distanceTables();
    if (!tree_) {
        tree_.emplace();
        streamStart_ = output.size();
    }
    // A copy on the stack for the hot loop (its address taken nowhere, so that the
    // output's byte stores cannot alias it), put back when the call ends well; a stream
    // that failed is not gone on with.
    AdaptiveHuffmanTree tree = *tree_;

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

    // The output is the sliding window: the byte at window distance d is the one
    // written d + 1 bytes ago. Before the stream wrote that far back, the window still
    // holds its fresh contents: spaces below the first write position, zeros above.
    const std::size_t base = streamStart_;
    auto freshWindowByte = [](std::size_t bytesBeforeStart) -> std::uint8_t {
        const unsigned position = (kFirstWritePosition - static_cast<unsigned>(bytesBeforeStart)) & kWindowMask;
        return position < kFirstWritePosition ? ' ' : 0;
    };

    // Far from the end of the input every symbol is read from one peek of 57 bits or
    // more, without a check per bit; near the end (or for a symbol deeper than a peek
    // holds) each bit is read checked, so a stream that runs out fails at exactly the
    // bit where it does. A symbol and a position take at most 57 + 14 bits, so at least
    // kFastMargin bits left keep every fast read inside the input.
    constexpr std::uint64_t kFastMargin = 2 * 64;
    while (written < unpackedSize) {
        if (output.size() - written < kLongestMatch) makeRoom();

        // The walk ends on a leaf node; son() of a leaf is kNodeCount plus its symbol.
        int leaf = -1;
        if (bits.bitsLeft() >= kFastMargin) {
            std::uint64_t window64 = bits.peek();
            unsigned used = 0;
            int node = AdaptiveHuffmanTree::kRoot;
            int next = tree.son(node);
            // Every walk ends on a leaf: each step goes one level down a finite tree. Past
            // the peek's 57 bits it reads zeros, and then the symbol is read again below.
            while (next < AdaptiveHuffmanTree::kNodeCount) {
                node = next + static_cast<int>(window64 >> 63);
                next = tree.son(node);
                window64 <<= 1;
                ++used;
            }
            if (used <= BitReader::kPeekBits) {
                bits.skip(used);
                leaf = node;
            }
        }
        if (leaf < 0) {
            int node = AdaptiveHuffmanTree::kRoot;
            while (tree.son(node) < AdaptiveHuffmanTree::kNodeCount)
                node = tree.son(node) + static_cast<int>(bits.readBit());
            leaf = node;
        }
        const int symbol = tree.son(leaf) - AdaptiveHuffmanTree::kNodeCount;
        tree.updateLeaf(leaf);

        if (symbol < kFirstMatchSymbol) {
            out[written++] = static_cast<std::uint8_t>(symbol);
            continue;
        }
        unsigned i = 0;
        unsigned upper = 0;
        if (bits.bitsLeft() >= kFastMargin) {
            const std::uint64_t window64 = bits.peek();
            i = static_cast<unsigned>(window64 >> 56);
            upper = static_cast<unsigned>(distances.code[i]) << 6;
            const unsigned extra = distances.length[i] - 2u;  // 1 to 6
            i = (i << extra) | static_cast<unsigned>((window64 << 8) >> (64 - extra));
            bits.skip(8 + extra);
        } else {
            i = bits.readBits(8);
            upper = static_cast<unsigned>(distances.code[i]) << 6;
            for (int extra = distances.length[i] - 2; extra > 0; --extra) i = (i << 1) | bits.readBit();
        }
        const unsigned distance = upper | (i & 0x3F);

        const std::size_t back = std::size_t{distance} + 1;
        const unsigned length = static_cast<unsigned>(symbol - kMatchSymbolBias);
        std::uint8_t* to = out + written;
        if (written - base >= back) {
            const std::uint8_t* from = to - back;
            if (back >= length) {
                std::memcpy(to, from, length);
            } else {
                // The match overlaps what it writes: it repeats its own first bytes.
                for (unsigned k = 0; k < length; ++k) to[k] = from[k];
            }
        } else {
            for (unsigned k = 0; k < length; ++k) {
                const std::size_t produced = written - base + k;  // bytes of the stream before to[k]
                to[k] = produced >= back ? out[written + k - back] : freshWindowByte(back - produced);
            }
        }
        written += length;
    }
    *tree_ = tree;
}

}  // namespace kestran
