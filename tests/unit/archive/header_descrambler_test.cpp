#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include "archive/header_descrambler.h"
#include "support/header_scrambler.h"

namespace kestran {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes descrambled(Bytes data, int keyVariant) {
    HeaderDescrambler::descramble(data.data(), static_cast<std::int32_t>(data.size()), keyVariant);
    return data;
}

Bytes sampleBytes(std::size_t size) {
    Bytes bytes(size);
    std::uint32_t x = 7;
    for (auto& b : bytes) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return bytes;
}

class HeaderDescramblerVariant : public ::testing::TestWithParam<int> {};
INSTANTIATE_TEST_SUITE_P(KeyVariants, HeaderDescramblerVariant, ::testing::Values(0, 1));

TEST_P(HeaderDescramblerVariant, NonPositiveLengthLeavesDataUntouched) {
    for (std::int32_t length : {0, -1}) {
        Bytes data = {0x12, 0x34, 0x56};
        HeaderDescrambler::descramble(data.data(), length, GetParam());
        EXPECT_EQ(data, (Bytes{0x12, 0x34, 0x56})) << "length " << length;
    }
}

TEST_P(HeaderDescramblerVariant, MapsTheByteValuesOneToOneAtEveryPosition) {
    constexpr std::size_t kPositions = 300;
    std::vector<std::set<std::uint8_t>> outputs(kPositions);
    for (int value = 0; value < 256; ++value) {
        const Bytes out = descrambled(Bytes(kPositions, static_cast<std::uint8_t>(value)), GetParam());
        for (std::size_t i = 0; i < kPositions; ++i) outputs[i].insert(out[i]);
    }
    for (std::size_t i = 0; i < kPositions; ++i) EXPECT_EQ(outputs[i].size(), 256u) << "position " << i;
}

TEST_P(HeaderDescramblerVariant, DescramblingAPrefixGivesThePrefixOfTheWhole) {
    const Bytes payload = sampleBytes(5000);
    const Bytes whole = descrambled(payload, GetParam());
    for (std::size_t n : {1u, 4u, 257u, 4999u}) {
        const Bytes prefix =
            descrambled(Bytes(payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(n)), GetParam());
        EXPECT_EQ(prefix, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n))) << "prefix " << n;
    }
}

TEST_P(HeaderDescramblerVariant, ScramblerIsTheExactInverse) {
    const Bytes plain = sampleBytes(10000);
    Bytes data = plain;
    testing::scrambleHeader(data.data(), static_cast<std::int32_t>(data.size()), GetParam());
    EXPECT_NE(data, plain);
    EXPECT_EQ(descrambled(data, GetParam()), plain);

    // And the other way round: every stored byte string is something the scrambler writes.
    Bytes stored = descrambled(plain, GetParam());
    testing::scrambleHeader(stored.data(), static_cast<std::int32_t>(stored.size()), GetParam());
    EXPECT_EQ(stored, plain);
}

TEST(HeaderDescrambler, TheTwoVariantsDoNotUndoEachOther) {
    const Bytes plain = sampleBytes(64);
    Bytes data = plain;
    testing::scrambleHeader(data.data(), static_cast<std::int32_t>(data.size()), 0);
    EXPECT_NE(descrambled(data, 1), plain);
}

// Worked out independently from the generator, seeds and swap counts of each variant.
TEST(HeaderDescrambler, MatchesKnownAnswers) {
    const Bytes input = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                         0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    EXPECT_EQ(descrambled(input, 0),
              (Bytes{0x56, 0x43, 0x92, 0x92, 0x97, 0xD9, 0x82, 0xA2, 0xF7, 0x2D, 0x1F, 0xD5, 0x5E, 0x10, 0x73, 0xFC}));
    EXPECT_EQ(descrambled(input, 1),
              (Bytes{0x35, 0xDB, 0x7E, 0x43, 0x37, 0x37, 0x22, 0x01, 0x12, 0xAB, 0x6A, 0x88, 0x9E, 0x7C, 0xC5, 0x93}));
}

}  // namespace
}  // namespace kestran
