#pragma once
// The header decoder's input: a read position over a run of bytes, bit by bit from
// the most significant bit of each byte, bytes in order. Reading past the end fails
// with "bitstack out of range".
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestran {

extern const char* const kBitstackOutOfRange;  // "bitstack out of range"
extern const char* const kIndexTooLarge;       // an unpacked size this process cannot hold

class BitStack {
public:
    // Borrows size bytes at data; they must outlive the BitStack.
    BitStack(const std::uint8_t* data, std::size_t size);
    // Owns the bytes.
    explicit BitStack(std::vector<std::uint8_t> bytes);

    BitStack(const BitStack&) = delete;
    BitStack& operator=(const BitStack&) = delete;

    int readBit();
    std::uint8_t readByte();
    // Counted in 64 bits so that large inputs cannot wrap on 32-bit builds.
    std::uint64_t bitsLeft() const;

    // Decodes the LZHUF stream, appending to output, until output holds at least
    // unpackedSize bytes (nothing is read when it already does). A last match is
    // emitted whole, so up to 59 bytes more may follow. Throws "bitstack out of range"
    // when the input runs out first; output then keeps what was emitted.
    void decode(std::uint32_t unpackedSize, std::vector<std::uint8_t>& output);

private:
    std::vector<std::uint8_t> owned_;
    const std::uint8_t* data_;
    const std::uint8_t* current_;
    std::uint8_t mask_ = 0x80;
    bool owns_;
    const std::uint8_t* end_;
};

}  // namespace kestran
