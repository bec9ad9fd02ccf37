// One archive's header into a merged tree, as the loader reads it: the chunk walk,
// the descrambler (VersionCode 0 and 1, with the retry under the other key variant),
// the header decoder and the file table parser, then completion and a walk of the tree.
//
// Input: one byte whose low two bits are the VersionCode, then the archive's bytes.
#include <cstddef>
#include <cstdint>

#include "archive/chunk_stream.h"
#include "common/failure.h"
#include "fuzz_support.h"
#include "installation/kestran_db.h"
#include "tree_walk.h"

namespace {
// A header chunk of this size already decodes to tables of a few megabytes.
constexpr std::size_t kMaxInput = 256 * 1024;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxInput) return -1;
    kestran::fuzz::InputReader input(data, size);
    const std::uint32_t versionCode = input.u8() & 3u;

    kestran_db::KestranDB set("C:\\Game");
    set.archives().resize(1);
    const kestran_db::ArchiveFile& archive = set.archives().front();
    const std::string prefix = "\\FUZZ\\";

    kestran::fuzz::MemoryStream stream(input.rest(), input.restSize());
    try {
        set.enterRecords(kestran::readArchiveRecords(stream, static_cast<std::int32_t>(versionCode)).records, archive,
                         prefix);
    } catch (const kestran::Failure&) {
        // A table that fails enters nothing.
        FUZZ_CHECK(set.tree().empty());
        return 0;
    }

    for (const auto& entry : set.tree()) {
        FUZZ_CHECK(entry.first.compare(0, prefix.size(), prefix) == 0);
        FUZZ_CHECK(entry.second.winner() != nullptr);
    }
    set.completeTree();
    kestran::fuzz::walkCompletedTree(set);
    return 0;
}
