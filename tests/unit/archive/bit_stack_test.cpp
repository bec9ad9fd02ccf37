#include <gtest/gtest.h>

#include <vector>

#include "archive/bit_stack.h"
#include "common/failure.h"

namespace kestran {
namespace {

TEST(BitStack, ReadsBitsFromTheMostSignificantEnd) {
    const std::uint8_t bytes[] = {0xA5, 0x0F};
    BitStack bits(bytes, sizeof bytes);
    EXPECT_EQ(bits.bitsLeft(), 16u);
    const int expected[] = {1, 0, 1, 0, 0, 1, 0, 1};
    for (int b : expected) EXPECT_EQ(bits.readBit(), b);
    EXPECT_EQ(bits.readByte(), 0x0F);
    EXPECT_THROW(bits.readBit(), Failure);
}

TEST(BitStack, ReadsBytesAcrossByteBoundariesUntilTheBitsRunOut) {
    const std::uint8_t bytes[] = {0b1011'0110, 0b0101'1100};
    BitStack bits(bytes, sizeof bytes);
    EXPECT_EQ(bits.readBit(), 1);
    EXPECT_EQ(bits.readBit(), 0);
    EXPECT_EQ(bits.readBit(), 1);
    EXPECT_EQ(bits.readByte(), 0b1011'0010);  // the last five bits of the first byte, three of the second
    EXPECT_EQ(bits.bitsLeft(), 5u);
    try {
        bits.readByte();  // only five bits are left
        FAIL();
    } catch (const Failure& f) {
        EXPECT_STREQ(f.what(), "bitstack out of range");
    }
    EXPECT_EQ(bits.bitsLeft(), 0u);
}

TEST(BitStack, ZeroUnpackedSizeReadsNothingEvenFromEmptyInput) {
    BitStack bits(std::vector<std::uint8_t>{});
    std::vector<std::uint8_t> out;
    bits.decode(0, out);
    EXPECT_TRUE(out.empty());
}

TEST(BitStack, EmptyInputWithNonZeroSizeIsOutOfRange) {
    BitStack bits(std::vector<std::uint8_t>{});
    std::vector<std::uint8_t> out;
    try {
        bits.decode(1, out);
        FAIL();
    } catch (const Failure& f) {
        EXPECT_STREQ(f.what(), "bitstack out of range");
    }
}

}  // namespace
}  // namespace kestran
