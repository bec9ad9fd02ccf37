#include "bench_installations.h"

#include <boost/filesystem/path.hpp>

namespace kestran::bench {

namespace {

using kestran::testing::ArchiveBuilder;
using kestran::testing::Bytes;

std::string inRoot(const std::string& root, const std::string& name) {
    return (boost::filesystem::path(root) / name).string();
}

}  // namespace

Bytes largeContents() {
    Bytes bytes(kLargeMember);
    std::uint32_t x = 7;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = static_cast<std::uint8_t>((i / 256) % 64 + ((x >> 28) & 3) * ((i & 15) == 0));
    }
    return bytes;
}

Bytes noiseContents() {
    Bytes contents(kLargeMember);
    std::uint32_t x = 3;
    for (auto& b : contents) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    return contents;
}

void writeLargePackedMember(const std::string& root) {
    ArchiveBuilder builder(0);
    builder.compressedFile("textures\\large.dds", largeContents());
    builder.write(inRoot(root, "large.db0"));
}

void writeLargeStoredMember(const std::string& root) {
    ArchiveBuilder builder(0);
    builder.storedFile("textures\\stored.dds", noiseContents());
    builder.write(inRoot(root, "stored.db0"));
}

}  // namespace kestran::bench
