#include "support/demo_installation.h"

#include <boost/filesystem.hpp>
#include <cstddef>
#include <ctime>
#include <fstream>
#include <stdexcept>

#include "support/archive_builder.h"
#include "support/file_times.h"

namespace kestran::testing {

namespace {

namespace fs = boost::filesystem;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Deterministic, texture-like bytes: smooth runs that LZO packs well.
Bytes texture(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + (i / 64) % 16 + (i % 7 == 0));
    return bytes;
}

void writeArchive(const ArchiveBuilder& builder, const fs::path& path, std::int64_t time) {
    builder.write(path.string());
    setLastWriteTime(path.string(), time);
}

}  // namespace

void writeDemoInstallation(const std::string& directory) {
    const fs::path root(directory);
    fs::create_directories(root / "data");
    fs::create_directories(root / "patches");

    std::ofstream ltx((root / "fsgame.ltx").string(), std::ios::binary);
    ltx << "; where the game's archives lie\r\n"
           "$game_root$     = false| false| $fs_root$\r\n"
           "$game_data$     = true | false| $game_root$ | data\\\r\n"
           "$game_patches$  = true | false| $game_root$ | patches\\\r\n";
    ltx.close();
    if (!ltx) throw std::runtime_error("cannot write " + (root / "fsgame.ltx").string());

    ArchiveBuilder base(3);
    base.directory("textures")
        .compressedFile("textures\\wall.dds", texture(20000, 0x40))
        .compressedFile("textures\\floor.dds", texture(12000, 0x10))
        .storedFile("config\\system.ltx", text("[video]\r\nwidth = 1024\r\nheight = 768\r\n"))
        .compressedFile("levels\\l01\\level.dat", texture(8000, 0x70))
        .storedFile("Docs\\ReadMe.txt", text("The demo installation of kestran-db.\n"));
    writeArchive(base, root / "data" / "base.db0", kDemoBaseTime);

    ArchiveBuilder sounds(3);
    sounds.storedFile("sounds\\ambient\\wind.ogg", texture(3000, 0x05))
        .storedFile("sounds\\ui\\click.ogg", texture(500, 0x09));
    writeArchive(sounds, root / "data" / "sounds.db1", kDemoSoundsTime);

    ArchiveBuilder patch(3);
    patch.compressedFile("textures\\wall.dds", texture(24000, 0x44))
        .storedFile("config\\system.ltx", text("[video]\r\nwidth = 1920\r\nheight = 1080\r\n"))
        .compressedFile("levels\\l02\\level.dat", texture(9000, 0x72));
    writeArchive(patch, root / "patches" / "patch.db2", kDemoPatchTime);
}

}  // namespace kestran::testing
