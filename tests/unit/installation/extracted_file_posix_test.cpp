// What needs a POSIX process to see: how much memory a copy-out asks for.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "common/failure.h"
#include "installation/kestran_db.h"
#include "installation/loader.h"
#include "installation_fixture.h"

namespace kestran_db {
namespace {

using kestran::testing::TableRecord;

// The process's address space now, in bytes.
std::uint64_t addressSpace() {
    std::ifstream statm("/proc/self/statm");
    std::uint64_t pages = 0;
    statm >> pages;
    return pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}

// A compressed record that claims a gigabyte (a size its packed bytes could hold) whose
// packed bytes are not in the short archive: the copy fails as damaged without asking
// for the gigabyte first. Run in a child whose address space cannot grow by more than
// 256 MiB, where such a request fails (or, under a sanitizer, ends the process).
class ExtractMemory : public testing::TempFolder {};

// Exits 0 when the copy fails as damaged.
[[noreturn]] void extractWithLittleMemory(const KestranDB& set, const std::string& path) {
    rlimit limit{};
    getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = addressSpace() + (std::uint64_t{256} << 20);
    if (setrlimit(RLIMIT_AS, &limit) != 0) std::exit(4);
    try {
        set.extract(path);
    } catch (const kestran::Failure& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        std::exit(failure.kind() == kestran::FailureKind::Damaged ? 0 : 1);
    } catch (...) {
        std::exit(2);
    }
    std::exit(3);
}

TEST_F(ExtractMemory, PackedBytesPastTheEndAreRefusedBeforeTheirUnpackedSizeIsAllocated) {
    testing::ArchiveBuilder builder;
    builder.storedFile("fine.txt", bytes("fine")).record(TableRecord{"claims-1g.bin", 1000000000u, 4000000u, 0, 64});
    writeText("fsgame.ltx", "$data$=true|false|$fs_root$|data\n");
    writeArchive("data/a.db0", builder);
    const auto set = loadInstallation(root.string(), 2, "\\ARNA\\");
    EXPECT_EXIT(extractWithLittleMemory(*set, "\\ARNA\\claims-1g.bin"), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace kestran_db
