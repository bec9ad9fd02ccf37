#pragma once
// The inverse of HeaderDescrambler: scrambles a header chunk payload the way the two
// older archive layouts store it.
#include <cstdint>

namespace kestran::testing {

void scrambleHeader(std::uint8_t* data, std::int32_t length, int keyVariant);

}  // namespace kestran::testing
