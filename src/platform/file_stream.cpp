#include "platform/file_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include "common/failure.h"

namespace kestran::platform {

namespace {
constexpr std::size_t kBufferSize = 64 * 1024;
}

FileStreamBuffer::FileStreamBuffer(ReadOnlyFile file) : file_(std::move(file)), buffer_(kBufferSize) {
    setg(buffer_.data(), buffer_.data(), buffer_.data());
}

std::uint64_t FileStreamBuffer::position() const { return bufferStart_ + static_cast<std::uint64_t>(gptr() - eback()); }

FileStreamBuffer::int_type FileStreamBuffer::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    const std::uint64_t at = position();
    std::size_t got = 0;
    try {
        got = file_.readAt(at, reinterpret_cast<std::uint8_t*>(buffer_.data()), buffer_.size());
    } catch (const Failure&) {
        got = 0;  // a read error ends the stream like its end does
    }
    bufferStart_ = at;
    setg(buffer_.data(), buffer_.data(), buffer_.data() + got);
    return got == 0 ? traits_type::eof() : traits_type::to_int_type(*gptr());
}

std::streamsize FileStreamBuffer::xsgetn(char* into, std::streamsize count) {
    std::streamsize done = 0;
    while (done < count) {
        const std::streamsize buffered = egptr() - gptr();
        if (buffered > 0) {
            const std::streamsize piece = std::min(buffered, count - done);
            std::memcpy(into + done, gptr(), static_cast<std::size_t>(piece));
            gbump(static_cast<int>(piece));
            done += piece;
            continue;
        }
        // Large reads go straight into the caller's memory.
        const std::streamsize left = count - done;
        if (static_cast<std::size_t>(left) >= buffer_.size()) {
            const std::uint64_t at = position();
            std::size_t got = 0;
            try {
                got = file_.readAt(at, reinterpret_cast<std::uint8_t*>(into + done), static_cast<std::size_t>(left));
            } catch (const Failure&) {
                got = 0;
            }
            bufferStart_ = at + got;
            setg(buffer_.data(), buffer_.data(), buffer_.data());
            done += static_cast<std::streamsize>(got);
            break;
        }
        if (traits_type::eq_int_type(underflow(), traits_type::eof())) break;
    }
    return done;
}

FileStreamBuffer::pos_type FileStreamBuffer::seekoff(off_type offset, std::ios_base::seekdir direction,
                                                     std::ios_base::openmode which) {
    if ((which & std::ios_base::in) == 0) return pos_type(off_type(-1));
    std::int64_t base = 0;
    if (direction == std::ios_base::cur) {
        base = static_cast<std::int64_t>(position());
    } else if (direction == std::ios_base::end) {
        try {
            base = static_cast<std::int64_t>(file_.size());
        } catch (const Failure&) {
            return pos_type(off_type(-1));
        }
    }
    const std::int64_t target = base + static_cast<std::int64_t>(offset);
    // Before the start of the file is an error; past its end is not (the next read fails).
    if (target < 0) return pos_type(off_type(-1));
    return seekpos(pos_type(off_type(target)), which);
}

FileStreamBuffer::pos_type FileStreamBuffer::seekpos(pos_type position, std::ios_base::openmode which) {
    if ((which & std::ios_base::in) == 0 || off_type(position) < 0) return pos_type(off_type(-1));
    const auto target = static_cast<std::uint64_t>(off_type(position));
    // Within the buffer the bytes stay; anywhere else the next read refills it.
    const std::uint64_t bufferEnd = bufferStart_ + static_cast<std::uint64_t>(egptr() - eback());
    if (target >= bufferStart_ && target <= bufferEnd) {
        setg(eback(), eback() + static_cast<std::ptrdiff_t>(target - bufferStart_), egptr());
    } else {
        bufferStart_ = target;
        setg(buffer_.data(), buffer_.data(), buffer_.data());
    }
    return position;
}

FileStream::FileStream(const std::string& path) : std::istream(nullptr) {
    try {
        buffer_ = std::make_unique<FileStreamBuffer>(ReadOnlyFile(path));
        rdbuf(buffer_.get());
    } catch (const Failure& refused) {
        openFailure_ = refused.what();
        setstate(std::ios_base::failbit);
    }
}

}  // namespace kestran::platform
