#include "support/large_installation.h"

#include <boost/filesystem.hpp>
#include <cstdint>

#include "support/archive_builder.h"

namespace kestran::testing {

std::string largeMemberName(int id) {
    static const char* const tops[] = {"textures", "meshes", "sounds", "config", "scripts", "levels"};
    static const char* const mids[] = {"terrain", "props", "characters", "interface", "effects", "weather"};
    return std::string(tops[id % 6]) + "\\" + mids[id / 6 % 6] + "\\set_" + std::to_string(id / 250) + "\\item_" +
           std::to_string(id) + (id % 3 == 0 ? "_bump.dds" : ".ogf");
}

void writeLargeInstallation(const std::string& directory) {
    const boost::filesystem::path root(directory);
    boost::filesystem::create_directories(root);
    for (int a = 0; a <= kLargeBaseArchives; ++a) {
        ArchiveBuilder builder(0);
        const bool patch = a == kLargeBaseArchives;
        const int first = patch ? 0 : a * kLargeFiles / kLargeBaseArchives;
        const int last = patch ? kLargeOverridden : (a + 1) * kLargeFiles / kLargeBaseArchives;
        for (int id = first; id < last; ++id) {
            const int file = patch ? id * (kLargeFiles / kLargeOverridden) : id;
            const Bytes contents(64 + file % 192, static_cast<std::uint8_t>(file));
            if (file % 2 == 0)
                builder.compressedFile(largeMemberName(file), contents);
            else
                builder.storedFile(largeMemberName(file), contents);
        }
        builder.write((root / (patch ? "patch.db0" : "pack_" + std::to_string(10 + a) + ".db0")).string());
    }
}

}  // namespace kestran::testing
