#pragma once
// The test side's LZHUF encoder: writes file-table streams that BitStack::decode
// reads back exactly. Two levels: LzhufWriter emits an exact sequence of literals and
// matches (for streams that must hit a particular case), lzhufEncode finds matches
// itself (for realistic tables of any length).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/adaptive_huffman_tree.h"

namespace kestran::testing {

class LzhufWriter {
public:
    LzhufWriter();

    // A literal byte.
    void literal(std::uint8_t byte);
    // A match of length 3..60 copying from window position (write position - distance - 1),
    // distance 0..4095; it may reach into the window's initial contents or overlap itself.
    void match(unsigned distance, unsigned length);

    // The bytes the decoder will produce for what was written so far.
    const std::vector<std::uint8_t>& decodedSoFar() const { return decoded_; }
    std::size_t symbolCount() const { return symbols_; }

    // The encoded stream, padded with zero bits to a whole byte.
    std::vector<std::uint8_t> finish();

private:
    void putBits(unsigned value, int count);
    void putSymbol(int symbol);
    void emit(std::uint8_t byte);

    AdaptiveHuffmanTree tree_;
    std::vector<std::uint8_t> out_;
    unsigned bitBuffer_ = 0;
    int bitCount_ = 0;
    std::uint8_t window_[4096];
    unsigned writePosition_;
    std::vector<std::uint8_t> decoded_;
    std::size_t symbols_ = 0;
};

// Encodes plain so that decoding it with unpackedSize = plain.size() yields plain exactly.
std::vector<std::uint8_t> lzhufEncode(const std::vector<std::uint8_t>& plain);

}  // namespace kestran::testing
