#pragma once
// The installations the host-boundary tests browse, written with the project's archive
// writer (VersionCode 0: archives in the root folder, scrambled headers).
//
// ARNA  resources.db0 (time kOldTime): junk.raw (32 bytes 0xFF, first stored, so at
//         offset 8), textures\wall.dds "old wall", textures\floor.dds (compressed),
//         docs\readme.txt, empty.txt (0 bytes), levels\l01\ (directory), damaged.bin
//         (a compressed record over junk.raw's bytes), beyond.bin (past the file's end)
//       resources.db1 (time kNewTime): textures\wall.dds "new wall, longer"
// VESK  resources.db0 (time kOldTime): notes.txt
#include <cstdint>
#include <string>

#include "plugin_host.h"

namespace kestran::hosttest {

constexpr std::int64_t kOldTime = 1500000000;  // 2017-07-14T02:40:00Z
constexpr std::int64_t kNewTime = 1600000000;  // 2020-09-13T12:26:40Z
constexpr std::uint32_t kJunkOffset = 8;       // the data chunk's payload

inline const std::string& oldWall() {
    static const std::string text = "old wall";
    return text;
}
inline const std::string& newWall() {
    static const std::string text = "new wall, longer";
    return text;
}
inline const std::string& floorTexture() {
    static const std::string text = [] {
        std::string t;
        for (int i = 0; i < 4096; ++i) t += "floor tile " + std::to_string(i % 17) + "\n";
        return t;
    }();
    return text;
}

inline void writeArna(const fs::path& root) {
    using kestran::testing::ArchiveBuilder;
    using kestran::testing::TableRecord;
    ArchiveBuilder first(0);
    first.storedFile("junk.raw", kestran::testing::Bytes(32, 0xFF))
        .storedFile("textures\\wall.dds", bytesOf(oldWall()))
        .compressedFile("textures\\floor.dds", bytesOf(floorTexture()))
        .storedFile("docs\\readme.txt", bytesOf("read me"))
        .storedFile("empty.txt", {})
        .directory("levels\\l01")
        .record(TableRecord{"damaged.bin", 1000, 32, 0, kJunkOffset})
        .record(TableRecord{"beyond.bin", 10, 10, 0, 0x7FFFFF00});
    writeArchive(root / "resources.db0", first, kOldTime);
    ArchiveBuilder second(0);
    second.storedFile("textures\\wall.dds", bytesOf(newWall()));
    writeArchive(root / "resources.db1", second, kNewTime);
}

inline void writeVesk(const fs::path& root) {
    kestran::testing::ArchiveBuilder only(0);
    only.storedFile("notes.txt", bytesOf("vesk notes"));
    writeArchive(root / "resources.db0", only, kOldTime);
}

}  // namespace kestran::hosttest
