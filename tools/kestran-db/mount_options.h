#pragma once
// The options of kestran-db mount: -f, and the -o lists, where the mount's own options
// are picked out and everything else goes to FUSE as it is.
//
//   -o versions            every file several archives hold also has NAME.versions/1..N
//   -o cache_size=MIB      memory for unpacked members, in MiB (kDefaultCacheMiB)
//   -o name_encoding=CP    names that are not UTF-8 are shown converted from CP, or
//                          "none" for their bytes as they are
//   -o ro                  taken and dropped: the mount is always read-only
//   -o allow_other, ...    passed to FUSE
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/name_codec.h"

namespace kestran::cli {

// Enough for the largest members games ship (textures of some tens of MiB) several
// times over, and small beside the memory of any machine that runs the game.
constexpr std::uint64_t kDefaultCacheMiB = 256;
// The largest cache_size taken: 1 TiB, far beyond any machine.
constexpr std::uint64_t kMaxCacheMiB = std::uint64_t{1} << 20;

struct MountOptions {
    bool foreground = false;
    bool versions = false;
    std::uint64_t cacheBytes = kDefaultCacheMiB << 20;
    // The codec name_encoding named; nothing when no -o named one.
    std::optional<NameCodec> nameCodec;
    // The options for FUSE, one a string, in the order given.
    std::vector<std::string> fuseOptions;
};

// Takes the text of each -o in turn (comma-separated options; "\," is a comma inside a
// value, as FUSE reads it). Throws UsageError for a value of our own options that is
// wrong, for "rw" and for an empty option.
MountOptions parseMountOptions(const std::vector<std::string>& optionLists, bool foreground);

// The options for FUSE joined into one -o text, with a comma inside an option escaped.
std::string joinFuseOptions(const std::vector<std::string>& options);

}  // namespace kestran::cli
