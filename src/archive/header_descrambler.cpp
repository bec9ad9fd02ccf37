#include "archive/header_descrambler.h"

#include <stdexcept>

namespace kestran {

namespace {
constexpr ScrambleKey kKeys[2] = {
    {13572468u, 2048, 24681357u},  // variant 0: VersionCode 0
    {7315264u, 1024, 27960113u},   // variant 1: VersionCode 1
};

std::uint8_t topByte(std::uint32_t s) { return static_cast<std::uint8_t>(s >> 24); }
}  // namespace

const ScrambleKey& scrambleKey(int keyVariant) {
    if (keyVariant != 0 && keyVariant != 1) throw std::invalid_argument("scramble key variant must be 0 or 1");
    return kKeys[keyVariant];
}

void shufflePermutation(const ScrambleKey& key, std::uint8_t (&permutation)[256]) {
    for (int i = 0; i < 256; ++i) permutation[i] = static_cast<std::uint8_t>(i);
    std::uint32_t s = key.tableSeed;
    for (int swap = 0; swap < key.swapCount; ++swap) {
        s = nextScrambleState(s);
        const std::uint8_t a = topByte(s);
        s = nextScrambleState(s);
        std::uint8_t b = topByte(s);
        while (b == a) {
            s = nextScrambleState(s);
            b = topByte(s);
        }
        const std::uint8_t t = permutation[a];
        permutation[a] = permutation[b];
        permutation[b] = t;
    }
}

void HeaderDescrambler::descramble(std::uint8_t* data, std::int32_t length, int keyVariant) {
    const ScrambleKey& key = scrambleKey(keyVariant);
    std::uint8_t permutation[256];
    shufflePermutation(key, permutation);
    std::uint8_t inverse[256];
    for (int i = 0; i < 256; ++i) inverse[permutation[i]] = static_cast<std::uint8_t>(i);

    std::uint32_t t = key.streamSeed;
    for (std::int32_t i = 0; i < length; ++i) {
        t = nextScrambleState(t);
        data[i] = inverse[topByte(t) ^ data[i]];
    }
}

}  // namespace kestran
