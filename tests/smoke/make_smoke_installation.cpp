// Writes a small installation for the host smoke test into DIR (VersionCode 0: the
// archives lie in DIR itself):
//
//   gamedata.db0  (2017-07-14T02:40:00Z)  docs\readme.txt, textures\stone.dds,
//                                         wall.dds "old wall", карта.ltx "old map"
//   gamedata.db1  (2020-09-13T12:26:40Z)  levels\l01\level.ltx, wall.dds (compressed),
//                                         карта.ltx (stored)
//
// карта.ltx ("map") is named in CP1251 bytes, as a Windows tool would write it, so the
// host shows it converted. For the checks: DIR.expected/ holds the two files a copy of
// wall.dds and карта.ltx (its name in UTF-8, as the host shows it) must give, and
// DIR.expected/time their last-write time in Unix seconds.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "support/archive_builder.h"

namespace {

using kestran::testing::ArchiveBuilder;
using kestran::testing::Bytes;

constexpr std::int64_t kOldTime = 1500000000;
constexpr std::int64_t kNewTime = 1600000000;

const std::string kMapName = "\xEA\xE0\xF0\xF2\xE0.ltx";                       // карта.ltx in CP1251
const std::string kMapShown = "\xD0\xBA\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0.ltx";  // in UTF-8

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

void writeArchive(const std::filesystem::path& file, const ArchiveBuilder& builder, std::int64_t time) {
    builder.write(file.string());
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(time);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    if (utimensat(AT_FDCWD, file.c_str(), times, 0) != 0) throw std::runtime_error("cannot set " + file.string());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: kestran-make-smoke-installation DIR\n";
        return 2;
    }
    try {
        const std::filesystem::path root = argv[1];
        const std::filesystem::path expected = root.string() + ".expected";
        std::filesystem::create_directories(root);
        std::filesystem::create_directories(expected);

        std::string wall;
        for (int i = 0; i < 2000; ++i) wall += "new wall texel row " + std::to_string(i % 37) + "\n";

        ArchiveBuilder first(0);
        first.storedFile("docs\\readme.txt", bytesOf("The smoke test's installation.\n"))
            .storedFile("textures\\stone.dds", bytesOf("stone"))
            .storedFile("wall.dds", bytesOf("old wall"))
            .storedFile(kMapName, bytesOf("old map"));
        writeArchive(root / "gamedata.db0", first, kOldTime);

        ArchiveBuilder second(0);
        const std::string map = "[map]\nname = the new map\n";
        second.storedFile("levels\\l01\\level.ltx", bytesOf("[level]\n"))
            .compressedFile("wall.dds", bytesOf(wall))
            .storedFile(kMapName, bytesOf(map));
        writeArchive(root / "gamedata.db1", second, kNewTime);

        std::ofstream(expected / "wall.dds", std::ios::binary) << wall;
        std::ofstream(expected / kMapShown, std::ios::binary) << map;
        std::ofstream(expected / "time") << kNewTime << "\n";
    } catch (const std::exception& e) {
        std::cerr << "kestran-make-smoke-installation: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
