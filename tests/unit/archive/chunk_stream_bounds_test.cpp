// What a header chunk may cost: a process of modest means reads any archive. Run in a
// child process whose address space is limited (POSIX, and not under a sanitizer, whose
// shadow memory takes more than any such limit).
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <new>
#include <sstream>
#include <string>

#include "archive/bit_stack.h"
#include "archive/chunk_stream.h"
#include "common/failure.h"
#include "support/archive_builder.h"

namespace kestran {
namespace {

// Reads the archive in a child limited to `limit` bytes of address space; the exit
// status says how: 0 the expected failure, 1 another failure, 2 out of memory, 3 read.
int readLimited(const std::string& archive, rlim_t limit, const std::string& expected) {
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit bound{limit, limit};
        ::setrlimit(RLIMIT_AS, &bound);
        try {
            std::istringstream in(archive);
            readArchiveIndex(in, 2);
            std::_Exit(3);
        } catch (const Failure& e) {
            std::_Exit(std::string(e.what()) == expected ? 0 : 1);
        } catch (const std::bad_alloc&) {
            std::_Exit(2);
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A header chunk of 88 MiB of zero bytes claiming the largest table (enough bits for it)
// decodes to nothing like records: it fails at its first record, within the memory its
// bytes take, instead of decoding one and a half gigabytes first.
TEST(ChunkStreamBounds, AHeaderThatCannotBeRecordsFailsAtItsFirstRecordWithinLittleMemory) {
    std::string zeros = std::string("\x01\x00\x00\x80", 4);
    const std::uint32_t payload = 4 + (88u << 20);
    for (int shift = 0; shift < 32; shift += 8) zeros.push_back(static_cast<char>((payload >> shift) & 0xFF));
    zeros.append(4, '\xFF');
    zeros.append(88u << 20, '\0');
    // A 32-bit process refuses the claim itself, before decoding: 4 GiB is more than it
    // can hold.
    const char* expected = sizeof(std::size_t) > 4 ? kEntryLengthExceeds260 : kIndexTooLarge;
    EXPECT_EQ(readLimited(zeros, rlim_t{512} << 20, expected), 0);
}

}  // namespace
}  // namespace kestran
