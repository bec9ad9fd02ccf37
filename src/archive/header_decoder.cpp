// The shared pieces of the LZHUF format of file tables: the fresh window and the
// distance-code tables. The decoder itself is BitStack::decode (bit_stack.cpp).
#include "archive/header_decoder.h"

#include <cstring>

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
}  // namespace

DistanceTables::DistanceTables() : code{}, length{} {
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

const DistanceTables& distanceTables() {
    static const DistanceTables tables;
    return tables;
}

std::uint8_t distanceCode(std::uint8_t firstByte) { return distanceTables().code[firstByte]; }
std::uint8_t distanceCodeLength(std::uint8_t firstByte) { return distanceTables().length[firstByte]; }

}  // namespace kestran::lzhuf
