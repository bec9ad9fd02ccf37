// The fsgame.ltx reader: arbitrary text as an installation's file-system description.
//
// Input: the file's bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "installation/fsgame_ltx.h"

namespace {
constexpr std::size_t kMaxInput = 256 * 1024;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxInput) return -1;
    kestran::fuzz::MemoryStream in(data, size);
    const std::vector<std::string> directories = kestran_db::readFsgameDirectories(in, "C:\\Game");
    FUZZ_CHECK(directories.size() <= kestran_db::kMaxFsgameDirectories);
    for (const std::string& directory : directories) {
        FUZZ_CHECK(directory.size() <= kestran_db::kMaxFsgameDirectory);
        FUZZ_CHECK(directory.empty() || directory.back() != '\\');
        FUZZ_CHECK(directory.find('\0') == std::string::npos);
        FUZZ_CHECK(directory.find('\n') == std::string::npos);
    }
    return 0;
}
