// The header decoder alone: BitStack::decode over arbitrary LZHUF bits.
//
// Input: the unpacked size (4 bytes, little-endian), then the encoded bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/bit_stack.h"
#include "common/failure.h"
#include "fuzz_support.h"

namespace {
// At most 6 bytes come out per bit in, so 64 KiB of input stay below 4 MB of output.
constexpr std::size_t kMaxInput = 64 * 1024;
constexpr std::size_t kLongestMatchOverrun = 59;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxInput) return -1;
    kestran::fuzz::InputReader input(data, size);
    const std::uint32_t unpackedSize = input.u32();

    kestran::BitStack bits(input.rest(), input.restSize());
    std::vector<std::uint8_t> output;
    try {
        bits.decode(unpackedSize, output);
    } catch (const kestran::Failure&) {
        FUZZ_CHECK(output.size() < std::size_t{unpackedSize});
        return 0;
    }
    // Decoding stops between symbols: a last match may run past the size, by less
    // than one longest match.
    FUZZ_CHECK(output.size() >= std::size_t{unpackedSize});
    FUZZ_CHECK(output.size() <= std::size_t{unpackedSize} + kLongestMatchOverrun);
    return 0;
}
