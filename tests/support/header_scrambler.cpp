#include "support/header_scrambler.h"

#include "archive/header_descrambler.h"

namespace kestran::testing {

void scrambleHeader(std::uint8_t* data, std::int32_t length, int keyVariant) {
    const ScrambleKey& key = scrambleKey(keyVariant);
    std::uint8_t permutation[256];
    shufflePermutation(key, permutation);

    // The descrambler reads inverse[r ^ x]; so a plain byte p is stored as permutation[p] ^ r.
    std::uint32_t t = key.streamSeed;
    for (std::int32_t i = 0; i < length; ++i) {
        t = nextScrambleState(t);
        data[i] = static_cast<std::uint8_t>(permutation[data[i]] ^ (t >> 24));
    }
}

}  // namespace kestran::testing
