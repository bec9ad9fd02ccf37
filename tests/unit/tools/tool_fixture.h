#pragma once
// What the tests of kestran-db share: an installation with fsgame.ltx written by the
// test-side archive writer, and the tool run on it.
//
//   game/fsgame.ltx      $game$ = the root, $data$ = data\ below it
//   game/data/a.db0      a.txt, textures\wall.dds (packed), config\System.ltx  (time A)
//   game/data/b.db1      textures\wall.dds (stored, overrides a's), the directory
//                        levels, levels\l01\level.dat (packed)                  (time B)
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "support/archive_builder.h"
#include "support/file_times.h"
#include "support/temp_folder.h"
#include "tool_runner.h"

namespace kestran::testing {

namespace fs = boost::filesystem;

constexpr std::time_t kTimeA = 1714564800;  // 2024-05-01T12:00:00Z
constexpr std::time_t kTimeB = 1717243200;  // 2024-06-01T12:00:00Z

inline std::string readText(const fs::path& path) { return readFileText(path.string()); }

inline Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }
inline std::string textOf(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Repetitive bytes, so that LZO really packs them.
inline Bytes pattern(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + (i / 32) % 8);
    return bytes;
}

// The lines of a text, without their line ends.
inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        out.push_back(text.substr(start, end - start));
    return out;
}

inline void writeArchive(const ArchiveBuilder& builder, const fs::path& path, std::time_t time) {
    builder.write(path.string());
    kestran::testing::setLastWriteTime(path.string(), time);
}

class KestranDbTool : public ::testing::Test {
protected:
    KestranDbTool() {
        game = scratch / "game";
        fs::create_directories(game / "data");
        std::ofstream((game / "fsgame.ltx").string(), std::ios::binary) << "$game$ = false|false|$fs_root$\r\n"
                                                                           "$data$ = true|false|$game$|data\\\r\n";
        ArchiveBuilder a(3);
        a.storedFile("a.txt", bytesOf("alpha"))
            .compressedFile("textures\\wall.dds", wallA)
            .storedFile("config\\System.ltx", bytesOf("width=1024\r\n"));
        writeArchive(a, game / "data" / "a.db0", kTimeA);
        ArchiveBuilder b(3);
        b.storedFile("textures\\wall.dds", wallB).directory("levels").compressedFile("levels\\l01\\level.dat", level);
        writeArchive(b, game / "data" / "b.db1", kTimeB);
    }

    ToolRun invoke(const std::vector<std::string>& args) const { return runTool(args, scratch.string()); }

    std::vector<std::string> selectGame() const { return {"--root", game.string(), "--build", "3967"}; }

    ToolRun tool(std::vector<std::string> args, const std::vector<std::string>& selection) const {
        args.insert(args.end(), selection.begin(), selection.end());
        return invoke(args);
    }
    ToolRun onGame(const std::vector<std::string>& args) const { return tool(args, selectGame()); }

    // An archive's path as the tool prints it: as it is on disk, in the system's separators.
    std::string archivePath(const std::string& name) const { return (game / "data" / name).string(); }

    // A folder below the scratch folder holding one archive, name, that builder writes.
    fs::path installationOf(const std::string& directory, const ArchiveBuilder& builder,
                            const std::string& name = "a.db0") const {
        const fs::path root = scratch / directory;
        fs::create_directories(root);
        builder.write((root / name).string());
        return root;
    }

    const Bytes wallA = pattern(3000, 0x20);
    const Bytes wallB = pattern(4000, 0x40);
    const Bytes level = pattern(2500, 0x60);
    TempFolder folder{"kestran-db-test"};
    fs::path scratch{folder.path().string()};
    fs::path game;
};

}  // namespace kestran::testing
