// Writes the good seeds of every fuzz target with the project's own archive writer, and
// the hand-made inputs of past findings:
//
//   kestran-fuzz-seeds CORPUS_ROOT
//
// puts seed-* and regress-* files into CORPUS_ROOT/<target>/. The output is
// deterministic, so the files kept in the repository can be regenerated and compared.
// Inputs the fuzzer found are kept there as it wrote them (crash-*, timeout-*, oom-*).
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/file_table.h"
#include "config/settings.h"
#include "installation/archive_file.h"
#include "support/archive_builder.h"
#include "support/lzhuf_encoder.h"

namespace {

using kestran::testing::ArchiveBuilder;
using kestran::testing::Bytes;
using kestran::testing::TableRecord;

std::filesystem::path corpusRoot;

void writeSeed(const std::string& target, const std::string& name, const Bytes& bytes) {
    const std::filesystem::path directory = corpusRoot / target;
    std::filesystem::create_directories(directory);
    kestran::testing::writeFile((directory / ("seed-" + name)).string(), bytes);
}

void writeRegression(const std::string& target, const std::string& name, const Bytes& bytes) {
    const std::filesystem::path directory = corpusRoot / target;
    std::filesystem::create_directories(directory);
    kestran::testing::writeFile((directory / ("regress-" + name)).string(), bytes);
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

void putU32(Bytes& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

Bytes pattern(std::size_t size, unsigned seed) {
    Bytes out(size);
    std::uint32_t s = seed;
    for (std::uint8_t& b : out) {
        s = s * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>("abcdefgh \n0123"[(s >> 16) % 14]);
    }
    return out;
}

// An archive with a bit of everything: nested paths, mixed case, a stored and a
// compressed file, a named directory and one that only a path implies.
ArchiveBuilder typicalArchive(std::uint32_t versionCode) {
    ArchiveBuilder builder(versionCode);
    builder.storedFile("Config\\System.LTX", text("[system]\nvalue = 1\n"))
        .compressedFile("textures\\terrain\\Grass.dds", pattern(3000, 7))
        .directory("Sounds")
        .storedFile("sounds\\ambient\\wind.ogg", pattern(200, 3))
        .compressedFile("levels\\l01\\level.geom", Bytes(5000, 0));
    return builder;
}

// Many records with shared prefixes, long enough for the decoder's tree to be rebuilt.
ArchiveBuilder largeArchive() {
    ArchiveBuilder builder(2);
    for (int i = 0; i < 700; ++i) {
        TableRecord record;
        record.name = "meshes\\set" + std::to_string(i % 13) + "\\item_" + std::to_string(i * 7919 % 100000) + ".ogf";
        record.sizeReal = static_cast<std::uint32_t>(i * 977 + 13);
        record.sizeCompressed = static_cast<std::uint32_t>(i * 601 + 13);
        record.crc = static_cast<std::uint32_t>(i) * 2654435761u;
        record.offset = static_cast<std::uint32_t>(i * 4099);
        builder.record(record);
    }
    return builder;
}

Bytes withSelector(std::uint8_t selector, const Bytes& archive) {
    Bytes out{selector};
    kestran::testing::append(out, archive);
    return out;
}

void archiveIndexSeeds() {
    const std::string target = "archive_index";
    for (std::uint32_t versionCode : {0u, 1u, 2u, 3u})
        writeSeed(target, "typical-vc" + std::to_string(versionCode),
                  withSelector(static_cast<std::uint8_t>(versionCode), typicalArchive(versionCode).build()));
    // Written with key variant 1 but read as VersionCode 0: found by the retry.
    writeSeed(target, "other-key-variant", withSelector(0, typicalArchive(1).build()));

    ArchiveBuilder chunks(3);
    chunks.storedFile("a.txt", text("a")).fillerChunks(3, 5).headerChunkId(0x80000001u);
    writeSeed(target, "filler-chunks", withSelector(3, chunks.build()));

    ArchiveBuilder ancestor(2);
    ancestor.storedFile("maps", text("file")).storedFile("Maps\\Start.TXT", text("start")).directory("maps\\empty");
    writeSeed(target, "file-that-is-an-ancestor", withSelector(2, ancestor.build()));

    ArchiveBuilder empty(2);
    writeSeed(target, "empty-table", withSelector(2, empty.build()));

    writeSeed(target, "large-table", withSelector(2, largeArchive().build()));
}

void headerDecoderSeeds() {
    const std::string target = "header_decoder";
    auto encoded = [](const Bytes& plain) {
        Bytes out;
        putU32(out, static_cast<std::uint32_t>(plain.size()));
        kestran::testing::append(out, kestran::testing::lzhufEncode(plain));
        return out;
    };
    writeSeed(target, "typical-table", encoded(typicalArchive(2).table()));
    writeSeed(target, "large-table", encoded(largeArchive().table()));
    writeSeed(target, "empty", Bytes(4, 0));

    // Matches into the window's first contents, overlapping matches, and a last match
    // that runs past the size.
    kestran::testing::LzhufWriter writer;
    writer.literal('x');
    writer.match(0, 10);     // repeats the byte just written
    writer.match(100, 20);   // spaces before anything was written there
    writer.match(4082, 10);  // zeros of the window's last positions, not yet written
    writer.match(30, 60);    // overlaps what it writes
    writer.literal('\\');
    writer.match(4095, 3);
    const std::size_t decoded = writer.decodedSoFar().size();
    Bytes window;
    putU32(window, static_cast<std::uint32_t>(decoded - 2));
    kestran::testing::append(window, writer.finish());
    writeSeed(target, "window-matches", window);
}

void fileTableSeeds() {
    const std::string target = "file_table";
    writeSeed(target, "typical", typicalArchive(2).table());

    ArchiveBuilder edges(2);
    TableRecord longest;
    longest.name = std::string(243, 'n') + "\\";
    edges.record(longest);
    TableRecord packedDirectory;
    packedDirectory.name = "Packed\\";
    packedDirectory.sizeReal = 10;
    packedDirectory.sizeCompressed = 4;
    edges.record(packedDirectory);
    TableRecord highBytes;
    highBytes.name = "\xC4\xD6\xDC\\forward/slash.TXT";
    highBytes.sizeReal = highBytes.sizeCompressed = 9;
    edges.record(highBytes).record(highBytes);
    writeSeed(target, "edges", edges.table());
}

void settingsSeeds() {
    const std::string target = "settings";
    writeSeed(target, "example",
              text("[main]\nuse_registry = false\n[installations]\nARNA = 3312|D:\\Games\\ARNA\n"
                   "TOLM = 3967=E:\\Games\\TOLM\n"));
    writeSeed(target, "every-build",
              text("# comment\nmain.use_registry = yes\n[Installations]\nA = 3312ru|C:\\a\nB = 3312en|C:\\b\n"
                   "C = 3312ww|C:\\c\nD = 3312us|C:\\d\nE = 3795|C:\\e # cut\nMy Game = 3795|C:\\g\n"
                   "My.Game = 3795|C:\\x\nF = 3312||C:\\f\nG = 3312RU|C:\\g\n"));
    writeSeed(target, "rejected", text("[main]\nuse_registry = maybe\nnot an option\n"));
}

void fsgameSeeds() {
    const std::string target = "fsgame";
    writeSeed(target, "example",
              text("; the game's file system\n$base$=false|false|$fs_root$\n$packs$ = true | false | $base$ | data\\\n"
                   "$top$=true|false|$fs_root$\n$flags$=true|false\n$later$=true|false|$undefined$|x\r\n"
                   "$caps$=True|false|$fs_root$|y\n$fs_root$=true|true|c:\\\\other\\\\\\|z\\\\\n"));
}

// Offset, sizes and flag of one member, then the archive holding it.
Bytes extractInput(const kestran::FileTableRecord& location, const Bytes& archive) {
    Bytes out;
    putU32(out, location.offset);
    putU32(out, location.sizeCompressed);
    putU32(out, location.sizeReal);
    out.push_back(location.isCompressed ? 1 : 0);
    kestran::testing::append(out, archive);
    return out;
}

void extractSeeds() {
    const std::string target = "extract";
    ArchiveBuilder builder(2);
    builder.fillerChunks(1, 4200)
        .storedFile("stored.txt", text("stored contents"))
        .compressedFile("packed.bin", pattern(6000, 11))
        .compressedFile("zeros.bin", Bytes(20000, 0))
        .storedFile("empty.txt", Bytes());
    const Bytes archive = builder.build();
    Bytes table = builder.table();
    kestran::IndexCursor cursor(table);
    kestran::FileTableRecord record;
    while (cursor.nextRecord(record)) writeSeed(target, std::string(record.name), extractInput(record, archive));
}

// Inputs that once blew memory, kept so that the replay test keeps them harmless.
void regressionInputs() {
    // Twenty records, each alone at the end of a chain of 121 directories: a header of
    // a few hundred bytes whose completed tree took some 300 KB of paths and 2400 nodes.
    ArchiveBuilder deep(2);
    for (int i = 0; i < 20; ++i) {
        TableRecord record;
        record.name = std::to_string(i % 10) + std::string(1, static_cast<char>('a' + i / 10));
        while (record.name.size() + 2 <= 244) record.name += "\\d";
        deep.record(record);
    }
    writeRegression("archive_index", "implied-directories", withSelector(2, deep.build()));
    writeRegression("file_table", "implied-directories", deep.table());

    // A long alias reused line after line: every line named another 1 KB directory.
    std::string fsgame = "$long$=true|false|$fs_root$|" + std::string(900, 'x') + "\n";
    for (int i = 0; i < 1100; ++i) fsgame += "$" + std::to_string(i) + "$=true|false|$long$\n";
    writeRegression("fsgame", "directory-limit", text(fsgame));

    // A settings text one byte over the limit, which the parser would have kept whole.
    std::string settings = "[installations]\nA = 3312|D:\\a\n#";
    settings.resize(kestran::kMaxSettingsSize, 'x');
    settings += "\n";
    writeRegression("settings", "size-limit", text(settings));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_ROOT\n", argv[0]);
        return 2;
    }
    corpusRoot = argv[1];
    try {
        archiveIndexSeeds();
        headerDecoderSeeds();
        fileTableSeeds();
        settingsSeeds();
        fsgameSeeds();
        extractSeeds();
        regressionInputs();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
    return 0;
}
