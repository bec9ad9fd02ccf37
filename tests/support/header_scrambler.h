#pragma once
// The inverse of HeaderDescrambler: scrambles a header chunk payload the way the two
// older archive layouts store it.
#include <cstdint>

namespace kestran::testing {

// Scrambles length bytes in place with key variant 0 or 1; a length of 0 or less
// changes nothing. HeaderDescrambler::descramble with the same variant undoes it.
void scrambleHeader(std::uint8_t* data, std::int32_t length, int keyVariant);

}  // namespace kestran::testing
