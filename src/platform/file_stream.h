#pragma once
// A binary input stream over a ReadOnlyFile: how archives, fsgame.ltx and the settings
// are read. Opening never blocks (see ReadOnlyFile); a file that cannot be opened, or
// that is not a regular file, gives a stream that has already failed, so the first read
// reports it as a failed read would. Seeks are supported, relative ones included.
#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kestran::platform {

class FileStreamBuffer : public std::streambuf {
public:
    explicit FileStreamBuffer(ReadOnlyFile file);

    const ReadOnlyFile& file() const { return file_; }

protected:
    int_type underflow() override;
    std::streamsize xsgetn(char* into, std::streamsize count) override;
    pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode which) override;
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override;

private:
    // The file position of the byte at gptr().
    std::uint64_t position() const;

    ReadOnlyFile file_;
    std::vector<char> buffer_;
    std::uint64_t bufferStart_ = 0;  // file position of buffer_[0]
};

class FileStream : public std::istream {
public:
    // path is this system's path of the file (an openPath, or what resolvePath gave).
    explicit FileStream(const std::string& path);

    // Why the file could not be opened, when it could not.
    const std::optional<std::string>& openFailure() const { return openFailure_; }

    // The open file's identity now; none when it could not be opened.
    std::optional<FileIdentity> identity() const {
        if (!buffer_) return std::nullopt;
        return buffer_->file().identity();
    }

private:
    std::unique_ptr<FileStreamBuffer> buffer_;
    std::optional<std::string> openFailure_;
};

}  // namespace kestran::platform
