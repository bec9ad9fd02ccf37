#pragma once
// The test side's LZHUF encoder: writes file-table streams that BitStack::decode
// reads back exactly. Two levels: LzhufWriter emits an exact sequence of literals and
// matches (for streams that must hit a particular case), lzhufEncode finds matches
// itself (for realistic tables of any length).
//
// The writer codes symbols with the core's AdaptiveHuffmanTree, so its model is the
// decoder's model by construction; it also replays what the decoder will write into
// its window, so decodedSoFar() is the expected output of any stream it made.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/adaptive_huffman_tree.h"
#include "archive/header_decoder.h"

namespace kestran::testing {

class LzhufWriter {
public:
    // frequencyLimit other than the archive's exists to write streams of another model.
    explicit LzhufWriter(std::int32_t frequencyLimit = AdaptiveHuffmanTree::kFrequencyLimit);

    // A literal byte.
    void literal(std::uint8_t byte);
    // A match of length 3..60 copying from window position (write position - distance - 1),
    // distance 0..4095; it may reach into the window's initial contents or overlap itself.
    // Throws std::invalid_argument for a length or distance out of range.
    void match(unsigned distance, unsigned length);

    // The bytes the decoder will produce for what was written so far.
    const std::vector<std::uint8_t>& decodedSoFar() const { return decoded_; }
    std::size_t symbolCount() const { return symbols_; }
    // Bits written so far, padding not counted.
    std::size_t bitCount() const { return out_.size() * 8 + static_cast<std::size_t>(bitCount_); }

    // The encoded stream, padded with zero bits to a whole byte. The writer must not
    // be used afterwards.
    std::vector<std::uint8_t> finish();

private:
    void putBits(unsigned value, int count);
    void putSymbol(int symbol);
    void putDistance(unsigned distance);
    void emit(std::uint8_t byte);

    AdaptiveHuffmanTree tree_;
    std::vector<std::uint8_t> out_;
    unsigned bitBuffer_ = 0;
    int bitCount_ = 0;
    std::uint8_t window_[lzhuf::kWindowSize];
    unsigned writePosition_ = lzhuf::kFirstWritePosition;
    std::vector<std::uint8_t> decoded_;
    std::size_t symbols_ = 0;
};

// Encodes plain so that decoding it with unpackedSize = plain.size() yields plain exactly
// (no trailing bytes). Matches are found with hash chains and refer only to bytes of
// plain itself, never to the window's initial contents. With the frequency limit 0x8000
// the stream is LHA's -lh1- (the same coder with the published rebuild point).
std::vector<std::uint8_t> lzhufEncode(const std::vector<std::uint8_t>& plain,
                                      std::int32_t frequencyLimit = AdaptiveHuffmanTree::kFrequencyLimit);

}  // namespace kestran::testing
