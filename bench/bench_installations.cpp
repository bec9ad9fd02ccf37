#include "bench_installations.h"

#include <boost/filesystem/path.hpp>

namespace kestran::bench {

namespace {

using kestran::testing::ArchiveBuilder;
using kestran::testing::Bytes;

std::string memberName(int id) {
    static const char* const tops[] = {"textures", "meshes", "sounds", "config", "scripts", "levels"};
    static const char* const mids[] = {"terrain", "props", "characters", "interface", "effects", "weather"};
    return std::string(tops[id % 6]) + "\\" + mids[id / 6 % 6] + "\\set_" + std::to_string(id / 250) + "\\item_" +
           std::to_string(id) + (id % 3 == 0 ? "_bump.dds" : ".ogf");
}

std::string inRoot(const std::string& root, const std::string& name) {
    return (boost::filesystem::path(root) / name).string();
}

}  // namespace

void writeManyFiles(const std::string& root) {
    for (int a = 0; a <= kBaseArchives; ++a) {
        ArchiveBuilder builder(0);
        const bool patch = a == kBaseArchives;
        const int first = patch ? 0 : a * kFiles / kBaseArchives;
        const int last = patch ? kOverridden : (a + 1) * kFiles / kBaseArchives;
        for (int id = first; id < last; ++id) {
            const int file = patch ? id * (kFiles / kOverridden) : id;
            const Bytes contents(64 + file % 192, static_cast<std::uint8_t>(file));
            if (file % 2 == 0)
                builder.compressedFile(memberName(file), contents);
            else
                builder.storedFile(memberName(file), contents);
        }
        builder.write(inRoot(root, patch ? "patch.db0" : "pack_" + std::to_string(10 + a) + ".db0"));
    }
}

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
