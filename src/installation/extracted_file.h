#pragma once
// The bytes of one file's highest-priority occurrence: a mapped read-only window of
// its archive for a stored file, or an unpacked buffer for a compressed one. The
// holder reads data()/sizeReal()/time() and gives everything back with release()
// (or by letting the object go). Exactly one holder: it can be moved, not copied.
#include <cstdint>
#include <memory>
#include <string>

#include "common/file_time.h"
#include "installation/archive_file.h"
#include "installation/file_location.h"
#include "platform/platform.h"

namespace kestran_db {

class ExtractedFile {
public:
    // Reads the occurrence's window of its archive and unpacks it when compressed.
    // Throws kestran::Failure: "Can't open file!" when the archive cannot be opened,
    // and a message of its own for a window past the archive's end, an occurrence
    // beyond 4 GiB, or damaged compressed data.
    ExtractedFile(const ArchiveFile& archive, const FileLocation& location);
    ~ExtractedFile();

    ExtractedFile(ExtractedFile&& other) noexcept;
    ExtractedFile& operator=(ExtractedFile&& other) noexcept;
    ExtractedFile(const ExtractedFile&) = delete;
    ExtractedFile& operator=(const ExtractedFile&) = delete;

    const std::uint8_t* data() const { return data_; }
    std::uint32_t sizeReal() const { return sizeReal_; }
    std::uint32_t sizeCompressed() const { return sizeCompressed_; }
    bool isCompressed() const { return isCompressed_; }
    std::uint32_t crc() const { return crc_; }
    kestran::FileTime time() const { return time_; }
    // Where the mapped window starts in the archive (a multiple of the granularity).
    std::uint64_t windowStart() const { return windowStart_; }
    std::size_t windowLength() const { return view_.length; }
    const std::uint8_t* view() const { return view_.data; }

    // Unmaps the window and frees the buffer; later calls do nothing.
    void release();

private:
    bool unpackInPlace(const ArchiveFile& archive, std::uint32_t offset);

    kestran::platform::FileWindow view_;
    const std::uint8_t* data_ = nullptr;
    std::uint32_t sizeCompressed_ = 0;
    std::uint32_t sizeReal_ = 0;
    bool isCompressed_ = false;
    std::uint32_t crc_ = 0;
    kestran::platform::ContentBuffer buffer_;
    kestran::FileTime time_;
    std::uint64_t windowStart_ = 0;
};

}  // namespace kestran_db
