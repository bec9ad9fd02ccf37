#pragma once
// The header decoder's input, bit by bit from the most significant bit of each byte,
// bytes in order. Reading past the end fails with "bitstack out of range".
//
// BitReader is the one bit reader: a plain value (the bytes, a bit position, the end)
// whose reads are inline, so that the decoder's hot loop works on a local copy of it in
// registers. BitStack owns or borrows the bytes, holds the reader, and decodes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "archive/adaptive_huffman_tree.h"

namespace kestran {

inline constexpr const char* kBitstackOutOfRange = "bitstack out of range";
inline constexpr const char* kIndexTooLarge = "unpacked index too large for this process";

[[noreturn]] void throwBitstackOutOfRange();

class BitReader {
public:
    BitReader(const std::uint8_t* bytes, std::size_t size)
        : bytes_(bytes), endBit_(static_cast<std::uint64_t>(size) * 8) {}

    unsigned readBit() {
        if (bit_ >= endBit_) throwBitstackOutOfRange();
        const unsigned value = (bytes_[bit_ >> 3] >> (7 - (bit_ & 7))) & 1u;
        ++bit_;
        return value;
    }

    // count bits (at most 32), the first read becoming the most significant; the end is
    // tested before every bit, so bits read before running out stay read.
    unsigned readBits(int count) {
        unsigned value = 0;
        for (int i = 0; i < count; ++i) value = (value << 1) | readBit();
        return value;
    }

    // Counted in 64 bits so that large inputs cannot wrap on 32-bit builds.
    std::uint64_t bitsLeft() const { return endBit_ - bit_; }

    // The fast way through the middle of the input, where the end is far: the next 57
    // bits (at least) at the top of a word, read in one go and not checked against the
    // end. Only while bitsLeft() >= kPeekBits; a caller that may need more bits than one
    // peek holds takes the checked readBit() instead.
    static constexpr unsigned kPeekBits = 57;
    std::uint64_t peek() const {
        const std::uint8_t* at = bytes_ + (bit_ >> 3);
        const std::uint64_t word = std::uint64_t{at[0]} << 56 | std::uint64_t{at[1]} << 48 |
                                   std::uint64_t{at[2]} << 40 | std::uint64_t{at[3]} << 32 |
                                   std::uint64_t{at[4]} << 24 | std::uint64_t{at[5]} << 16 | std::uint64_t{at[6]} << 8 |
                                   std::uint64_t{at[7]};
        return word << (bit_ & 7);
    }
    // Passes over bits taken from a peek.
    void skip(unsigned count) { bit_ += count; }

private:
    const std::uint8_t* bytes_;
    std::uint64_t bit_ = 0;
    std::uint64_t endBit_;
};

class BitStack {
public:
    // Borrows size bytes at data; they must outlive the BitStack.
    BitStack(const std::uint8_t* data, std::size_t size);
    // Owns the bytes.
    explicit BitStack(std::vector<std::uint8_t> bytes);

    BitStack(const BitStack&) = delete;
    BitStack& operator=(const BitStack&) = delete;

    int readBit() { return static_cast<int>(reader_.readBit()); }
    std::uint8_t readByte() { return static_cast<std::uint8_t>(reader_.readBits(8)); }
    std::uint64_t bitsLeft() const { return reader_.bitsLeft(); }

    // Decodes the LZHUF stream (header_decoder.h), appending to output, until output
    // holds at least unpackedSize bytes (nothing is read when it already does). A last
    // match is emitted whole, so up to 59 bytes more may follow. Throws "bitstack out of
    // range" when the input runs out first (output then keeps what was emitted), and
    // "unpacked index too large for this process" before reading anything for a size
    // this process cannot hold.
    //
    // Can be called again with a larger unpackedSize and the same output to go on where
    // the last call stopped (the stream starts where output ended at the first call):
    // so a table can be checked a slice at a time while it is decoded.
    void decode(std::uint32_t unpackedSize, std::vector<std::uint8_t>& output);

    // Throws as decode would, before decoding, for a stream that claims unpackedSize
    // bytes with `decoded` of them in hand: more than the input left can hold, or more
    // than this process can.
    void checkClaim(std::uint32_t unpackedSize, std::size_t decoded) const;

private:
    std::vector<std::uint8_t> owned_;
    BitReader reader_;
    // Between calls of decode: the adaptive tree, and where the stream's output starts.
    std::optional<AdaptiveHuffmanTree> tree_;
    std::size_t streamStart_ = 0;
};

}  // namespace kestran
