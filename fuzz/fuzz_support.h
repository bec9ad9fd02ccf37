#pragma once
// Helpers shared by the fuzz targets: a seekable in-memory stream that behaves like a
// file stream, little-endian fields from the front of an input, and a check that
// aborts (so libFuzzer and the replay driver both report it) when an invariant breaks.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <istream>
#include <streambuf>

// The entry point every target defines; libFuzzer or replay_main.cpp calls it once per
// input. A target returns 0, or -1 for an input it refuses to look at (too long).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// An invariant the code under test promises; breaking it is a finding.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)

namespace kestran::fuzz {

// Reads borrowed bytes like an std::ifstream reads a file: any non-negative position
// can be sought, also past the end (reading there then fails); a position before the
// start cannot. Nothing is buffered, so tellg is always exact.
class MemoryBuffer : public std::streambuf {
public:
    MemoryBuffer(const std::uint8_t* data, std::size_t size) : data_(data), size_(static_cast<off_type>(size)) {}

protected:
    int_type underflow() override {
        return position_ < size_ ? traits_type::to_int_type(static_cast<char>(data_[position_])) : traits_type::eof();
    }
    int_type uflow() override {
        const int_type c = underflow();
        if (!traits_type::eq_int_type(c, traits_type::eof())) ++position_;
        return c;
    }
    std::streamsize showmanyc() override { return position_ < size_ ? size_ - position_ : -1; }
    std::streamsize xsgetn(char* into, std::streamsize count) override {
        const off_type available = position_ < size_ ? size_ - position_ : 0;
        const off_type taken = count < available ? count : available;
        for (off_type i = 0; i < taken; ++i) into[i] = static_cast<char>(data_[position_ + i]);
        position_ += taken;
        return taken;
    }
    pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode) override {
        const off_type base = direction == std::ios_base::beg ? 0 : direction == std::ios_base::cur ? position_ : size_;
        // Sizes here are small, so base + offset cannot overflow for any 32-bit offset;
        // larger offsets are refused like a file system refuses them.
        if (offset > (off_type{1} << 40) || offset < -(off_type{1} << 40)) return pos_type(off_type(-1));
        const off_type target = base + offset;
        if (target < 0) return pos_type(off_type(-1));
        position_ = target;
        return pos_type(position_);
    }
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override {
        return seekoff(off_type(position), std::ios_base::beg, which);
    }

private:
    const std::uint8_t* data_;
    off_type size_;
    off_type position_ = 0;
};

class MemoryStream : public std::istream {
public:
    MemoryStream(const std::uint8_t* data, std::size_t size) : std::istream(nullptr), buffer_(data, size) {
        rdbuf(&buffer_);
    }

private:
    MemoryBuffer buffer_;
};

// Takes fields off the front of an input; a field the input is too short for reads as 0.
class InputReader {
public:
    InputReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t u8() { return position_ < size_ ? data_[position_++] : 0; }
    std::uint32_t u32() {
        std::uint32_t value = 0;
        for (int shift = 0; shift < 32; shift += 8) value |= std::uint32_t{u8()} << shift;
        return value;
    }
    const std::uint8_t* rest() const { return data_ + position_; }
    std::size_t restSize() const { return size_ - position_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

}  // namespace kestran::fuzz
