#include "archive/bit_stack.h"

#include <utility>

#include "common/failure.h"

namespace kestran {

const char* const kBitstackOutOfRange = "bitstack out of range";
const char* const kIndexTooLarge = "unpacked index too large for this process";

BitStack::BitStack(const std::uint8_t* data, std::size_t size)
    : data_(data), current_(data), owns_(false), end_(data + size) {}

BitStack::BitStack(std::vector<std::uint8_t> bytes)
    : owned_(std::move(bytes)), data_(owned_.data()), current_(data_), owns_(true), end_(data_ + owned_.size()) {}

int BitStack::readBit() {
    if (current_ >= end_) throw Failure(kBitstackOutOfRange);
    const int bit = (*current_ & mask_) != 0 ? 1 : 0;
    mask_ = static_cast<std::uint8_t>(mask_ >> 1);
    if (mask_ == 0) {
        mask_ = 0x80;
        ++current_;
    }
    return bit;
}

std::uint8_t BitStack::readByte() {
    unsigned value = 0;
    for (int i = 0; i < 8; ++i) value = (value << 1) | static_cast<unsigned>(readBit());
    return static_cast<std::uint8_t>(value);
}

std::uint64_t BitStack::bitsLeft() const {
    if (current_ >= end_) return 0;
    unsigned bitsInCurrent = 0;
    for (std::uint8_t m = mask_; m != 0; m = static_cast<std::uint8_t>(m >> 1)) ++bitsInCurrent;
    return static_cast<std::uint64_t>(end_ - current_ - 1) * 8 + bitsInCurrent;
}

}  // namespace kestran
