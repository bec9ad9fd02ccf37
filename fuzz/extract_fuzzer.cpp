// Fetching a member's contents from arbitrary archive bytes, stored or compressed:
// ExtractedFile maps the member's window of the archive file and unpacks it with
// LZO1X when compressed; every byte of the contents is then read.
//
// Input: the member's offset, sizeCompressed and sizeReal (4 bytes each,
// little-endian), one byte whose low bit makes it compressed, then the archive's bytes,
// which are written to a file of this process's own.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "common/failure.h"
#include "fuzz_support.h"
#include "installation/archive_file.h"
#include "installation/extracted_file.h"
#include "installation/file_location.h"

#if defined(_WIN32)
#include <process.h>
#define KESTRAN_FUZZ_PID _getpid()
#else
#include <unistd.h>
#define KESTRAN_FUZZ_PID ::getpid()
#endif

namespace {

constexpr std::size_t kMaxInput = 256 * 1024;

std::string makeArchivePath() {
    std::error_code error;
    std::filesystem::path directory = std::filesystem::temp_directory_path(error);
    if (error) directory = ".";
    return (directory / ("kestran-fuzz-extract-" + std::to_string(KESTRAN_FUZZ_PID) + ".db")).string();
}

void removeArchive();

// One archive file per process, rewritten for every input and removed at exit. The
// exit handler is registered once the path exists, so it runs before the path goes.
const std::string& archivePath() {
    static const std::string path = makeArchivePath();
    static const bool removedAtExit = std::atexit(removeArchive) == 0;
    (void)removedAtExit;
    return path;
}

void removeArchive() { std::remove(archivePath().c_str()); }

void writeArchive(const std::uint8_t* data, std::size_t size) {
    std::ofstream out(archivePath(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    FUZZ_CHECK(out.good());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxInput) return -1;
    kestran::fuzz::InputReader input(data, size);
    kestran_db::FileLocation location;
    location.offset = input.u32();
    location.sizeCompressed = input.u32();
    location.sizeReal = input.u32();
    location.isCompressed = (input.u8() & 1u) != 0;
    writeArchive(input.rest(), input.restSize());

    kestran_db::ArchiveFile archive;
    archive.openPath = archivePath();
    archive.path = archive.openPath;
    archive.lastWriteTime = kestran::FileTime{0x12345678u, 0x01D00000u};
    location.archive = &archive;

    try {
        kestran_db::ExtractedFile file(archive, location);
        FUZZ_CHECK(file.sizeReal() == location.sizeReal);
        FUZZ_CHECK(file.time() == archive.lastWriteTime);
        // Stored bytes that are read lie in the archive; a stored member is read in place.
        if (location.sizeCompressed > 0)
            FUZZ_CHECK(std::uint64_t{location.offset} + location.sizeCompressed <= input.restSize());
        if (!location.isCompressed) FUZZ_CHECK(location.sizeReal <= location.sizeCompressed);
        FUZZ_CHECK(file.sizeReal() == 0 || file.data() != nullptr);
        unsigned sum = 0;
        for (std::uint32_t i = 0; i < file.sizeReal(); ++i) sum += file.data()[i];
        if (!location.isCompressed && file.sizeReal() > 0)
            FUZZ_CHECK(std::memcmp(file.data(), input.rest() + location.offset, file.sizeReal()) == 0);
        // Keeps the sum, and with it every read, from being optimised away.
        volatile unsigned sink = sum;
        (void)sink;
        file.release();
        FUZZ_CHECK(file.data() == nullptr);
    } catch (const kestran::Failure&) {
    }
    return 0;
}
