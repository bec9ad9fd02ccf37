#pragma once
// The LZHUF format of archive file tables: a 4096-byte sliding window, matches of
// 3 to 60 bytes, literals and match lengths coded by one adaptive Huffman tree, a
// match's window distance coded as 3 to 8 bits for its upper six bits plus six plain
// bits. BitStack::decode (bit_stack.h) is the decoder; these are the constants and tables it
// shares with the test-side encoder.
#include <cstdint>

namespace kestran::lzhuf {

constexpr unsigned kWindowSize = 4096;
constexpr unsigned kWindowMask = kWindowSize - 1;
constexpr unsigned kLongestMatch = 60;
constexpr unsigned kShortestMatch = 3;
constexpr unsigned kFirstWritePosition = kWindowSize - kLongestMatch;  // 4036
constexpr int kFirstMatchSymbol = 256;                                 // symbol 256 is a match of 3
constexpr int kMatchSymbolBias = 253;                                  // length = symbol - 253

// Fresh window: spaces below the first write position, zeros from there on.
void initialWindow(std::uint8_t (&window)[kWindowSize]);

// Upper six bits of a coded distance and the bit length of their code, by first byte.
struct DistanceTables {
    DistanceTables();
    std::uint8_t code[256];
    std::uint8_t length[256];
};
const DistanceTables& distanceTables();
std::uint8_t distanceCode(std::uint8_t firstByte);
std::uint8_t distanceCodeLength(std::uint8_t firstByte);

}  // namespace kestran::lzhuf
