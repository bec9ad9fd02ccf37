#pragma once
// Undoes the byte-wise scrambling of header chunk payloads in the two older archive
// layouts (VersionCode 0 and 1). Each key variant shuffles a 256-entry permutation
// from a table seed and mixes every byte with a pseudo-random stream from a stream seed.
#include <cstdint>

namespace kestran {

struct ScrambleKey {
    std::uint32_t tableSeed;
    int swapCount;
    std::uint32_t streamSeed;
};

// keyVariant 0 or 1; anything else is a programming error.
const ScrambleKey& scrambleKey(int keyVariant);

// The permutation a key shuffles: the scrambler maps a plain byte p at stream value r
// to permutation[p] ^ r; the descrambler inverts that.
void shufflePermutation(const ScrambleKey& key, std::uint8_t (&permutation)[256]);

// The generator step shared by the shuffle and the stream.
constexpr std::uint32_t nextScrambleState(std::uint32_t s) { return s * 134775813u + 1u; }

class HeaderDescrambler {
public:
    // Descrambles length bytes in place; a length of 0 or less changes nothing.
    static void descramble(std::uint8_t* data, std::int32_t length, int keyVariant);
};

}  // namespace kestran
