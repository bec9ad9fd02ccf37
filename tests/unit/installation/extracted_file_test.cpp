#include "installation/extracted_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/failure.h"
#include "installation/kestran_db.h"
#include "installation/loader.h"
#include "installation_fixture.h"
#include "platform/platform.h"
#include "support/archive_builder.h"

namespace kestran_db {
namespace {

using kestran::testing::TableRecord;
using testing::ArchiveBuilder;
using testing::Bytes;

class Extract : public testing::TempFolder {
protected:
    std::shared_ptr<KestranDB> load() { return loadInstallation(root.string(), 2, "\\ARNA\\"); }

    void useDataFolder() { writeText("fsgame.ltx", "$data$=true|false|$fs_root$|data\n"); }

    static std::string contents(const ExtractedFile& file) {
        return std::string(reinterpret_cast<const char*>(file.data()), file.sizeReal());
    }

    std::string failureOf(const KestranDB& set, const std::string& path) {
        try {
            set.extract(path);
        } catch (const kestran::Failure& f) {
            return f.what();
        }
        return "(extracted)";
    }

    // An archive whose records point at hand-placed bytes: the archive itself, then
    // zeros up to byte `at`, then tail.
    void writePlaced(const std::string& relative, const ArchiveBuilder& builder, std::size_t at, const Bytes& tail) {
        Bytes bytes = builder.build();
        ASSERT_LE(bytes.size(), at);
        bytes.resize(at, 0);
        kestran::testing::append(bytes, tail);
        boost::filesystem::create_directories((root / relative).parent_path());
        kestran::testing::writeFile(path(relative), bytes);
    }
};

TEST_F(Extract, HighestPriorityOccurrenceWithItsArchiveTime) {
    useDataFolder();
    ArchiveBuilder first, second;
    first.storedFile("shared.txt", bytes("older")).compressedFile("packed.txt", Bytes(5000, 'p'));
    second.storedFile("shared.txt", bytes("newer contents"));
    writeArchive("data/1.db0", first, 1600000000);
    writeArchive("data/2.db0", second, 1700000000);
    const auto set = load();

    ExtractedFile shared = set->extract("\\ARNA\\shared.txt");
    EXPECT_EQ(contents(shared), "newer contents");
    EXPECT_EQ(kestran::toUnixSeconds(shared.time()), 1700000000);
    EXPECT_FALSE(shared.isCompressed());

    ExtractedFile packed = set->extract("\\ARNA\\packed.txt");
    EXPECT_TRUE(packed.isCompressed());
    EXPECT_EQ(contents(packed), std::string(5000, 'p'));
    EXPECT_EQ(kestran::toUnixSeconds(packed.time()), 1600000000);

    packed.release();
    EXPECT_EQ(packed.data(), nullptr);
    packed.release();  // a second release does nothing
}

// Another process may truncate the archive while a copy is under way (an updater
// replacing it, say): the bytes in hand must not fault (SIGBUS) then.
TEST_F(Extract, BytesStayReadableWhenTheArchiveShrinks) {
    useDataFolder();
    Bytes big(1 << 20);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 131 + i / 977);
    ArchiveBuilder builder;
    builder.storedFile("big.bin", big);
    writeArchive("data/a.db0", builder);
    const auto set = load();
    ExtractedFile file = set->extract("\\ARNA\\big.bin");
    // Windows refuses to shrink a file while a view of it is mapped: there the bytes
    // in hand are safe because the archive stays as it is.
    boost::system::error_code refused;
    boost::filesystem::resize_file(root / "data" / "a.db0", 4096, refused);
    EXPECT_EQ(Bytes(file.data(), file.data() + file.sizeReal()), big);
    if (refused) return;
    // Taken again now, the copy is refused, not cut short: the archive is no longer
    // the file that was loaded.
    EXPECT_EQ(failureOf(*set, "\\ARNA\\big.bin"), set->archives()[0].openPath + " changed since it was loaded");
}

// An archive rebuilt after the load (in place, by another file renamed over it, or
// grown by a member in front) holds other bytes at the offsets the load recorded: a
// copy is a read failure that says so, never another member's bytes. For both layouts,
// stored and packed members alike.
TEST_F(Extract, AnArchiveChangedSinceTheLoadGivesAFailureNeverOtherBytes) {
    enum class Change { RebuiltInPlace, RenamedOver, GrownInFront };
    const Bytes first = bytes(std::string(3000, 'a') + "first");
    const Bytes second = bytes(std::string(3000, 'b') + "second");
    for (const std::uint32_t versionCode : {0u, 2u}) {
        for (const bool packed : {false, true}) {
            for (const Change change : {Change::RebuiltInPlace, Change::RenamedOver, Change::GrownInFront}) {
                SCOPED_TRACE(std::to_string(versionCode) + (packed ? " packed " : " stored ") +
                             std::to_string(static_cast<int>(change)));
                boost::filesystem::remove_all(root);
                boost::filesystem::create_directories(root);
                auto build = [&](const std::vector<std::pair<std::string, Bytes>>& members) {
                    ArchiveBuilder builder(versionCode);
                    for (const auto& [name, contents] : members)
                        packed ? builder.compressedFile(name, contents) : builder.storedFile(name, contents);
                    return builder;
                };
                writeArchive("a.db0", build({{"one.bin", first}, {"two.bin", second}}));
                if (versionCode == 2) writeText("fsgame.ltx", "$root$=true|false|$fs_root$\n");
                const auto set = loadInstallation(root.string(), static_cast<std::int32_t>(versionCode), "\\ARNA\\");
                ASSERT_EQ(contents(set->extract("\\ARNA\\one.bin")), std::string(3000, 'a') + "first");

                // The new archive has another time, as a rebuild has.
                switch (change) {
                    case Change::RebuiltInPlace:
                        writeArchive("a.db0", build({{"two.bin", second}, {"one.bin", first}}), 1700000100);
                        break;
                    case Change::RenamedOver:
                        writeArchive("new.tmp", build({{"two.bin", second}, {"one.bin", first}}), 1700000100);
                        boost::filesystem::rename(root / "new.tmp", root / "a.db0");
                        break;
                    case Change::GrownInFront:
                        writeArchive("a.db0",
                                     build({{"pad.bin", Bytes(4096, 'p')}, {"one.bin", first}, {"two.bin", second}}),
                                     1700000100);
                        break;
                }
                EXPECT_EQ(failureOf(*set, "\\ARNA\\one.bin"),
                          set->archives()[0].openPath + " changed since it was loaded");
                EXPECT_EQ(failureOf(*set, "\\ARNA\\two.bin"),
                          set->archives()[0].openPath + " changed since it was loaded");
            }
        }
    }
}

TEST_F(Extract, WindowStartsAtTheGranularityBelowTheOffset) {
    useDataFolder();
    const std::uint32_t g = kestran::platform::windowGranularity();
    ArchiveBuilder builder;
    builder.record(TableRecord{"aligned.bin", 4, 4, 0, g}).record(TableRecord{"shifted.bin", 3, 3, 0, g + 1});
    writePlaced("data/a.db0", builder, g, bytes("abcd"));
    const auto set = load();

    const ExtractedFile aligned = set->extract("\\ARNA\\aligned.bin");
    EXPECT_EQ(aligned.windowStart(), g);
    EXPECT_EQ(aligned.data(), aligned.view());
    EXPECT_EQ(contents(aligned), "abcd");

    const ExtractedFile shifted = set->extract("\\ARNA\\shifted.bin");
    EXPECT_EQ(shifted.windowStart(), g);
    EXPECT_EQ(shifted.data(), shifted.view() + 1);
    EXPECT_EQ(shifted.windowLength(), 4u);
    EXPECT_EQ(contents(shifted), "bcd");
}

TEST_F(Extract, DirectoriesAndEmptyFilesGiveNoBytes) {
    useDataFolder();
    ArchiveBuilder builder;
    builder.storedFile("maps\\empty.txt", {}).directory("named");
    writeArchive("data/a.db0", builder);
    const auto set = load();
    for (const char* path : {"\\ARNA\\maps", "\\ARNA\\named", "\\ARNA\\maps\\empty.txt"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(set->extract(path).sizeReal(), 0u);
    }
}

TEST_F(Extract, FailuresLeaveTheTreeAsItWas) {
    useDataFolder();
    const Bytes packed = kestran::testing::compressLzo(Bytes(3000, 'z'));
    Bytes damaged = packed;
    damaged[damaged.size() / 2] ^= 0xFF;
    damaged.resize(damaged.size() - 3);

    ArchiveBuilder builder;
    builder.storedFile("fine.txt", bytes("fine"))
        .record(TableRecord{"past-end.bin", 10, 10, 0, 1000000})
        .record(TableRecord{"wraps.bin", 100, 100, 0, 0xFFFFFFF0u})
        .record(TableRecord{"bomb.bin", 0xFFFFFFF0u, 16, 0, 0})
        .record(TableRecord{"short-dir\\", 50, 2, 0, 0});
    const std::size_t at = 8192;
    builder.record(TableRecord{"damaged.bin", 3000, static_cast<std::uint32_t>(damaged.size()), 0, at});
    writePlaced("data/a.db0", builder, at, damaged);
    const auto set = load();
    const std::size_t nodes = set->tree().size();

    struct Case {
        const char* path;
        const char* message;
    };
    const Case cases[] = {
        {"\\ARNA\\missing.txt", "No such file in database!"},
        {"\\ARNA\\FINE.TXT", "No such file in database!"},
        {"\\ARNA\\past-end.bin", "Window reaches past the end of the file!"},
        {"\\ARNA\\wraps.bin", "entry's stored bytes lie beyond the 4 GiB an archive can address"},
        {"\\ARNA\\bomb.bin", "compressed entry claims a size its stored bytes cannot hold"},
        {"\\ARNA\\short-dir", "entry's stored bytes are fewer than its size"},
        {"\\ARNA\\damaged.bin", "compressed entry is damaged"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_NE(failureOf(*set, c.path).find(c.message), std::string::npos) << failureOf(*set, c.path);
    }
    EXPECT_EQ(set->tree().size(), nodes);

    // A node that a lookup made has no occurrence to read.
    set->nodeAt("\\ARNA\\made-by-lookup");
    EXPECT_EQ(failureOf(*set, "\\ARNA\\made-by-lookup"), "entry has no stored copy in any archive");

    boost::filesystem::remove(root / "data" / "a.db0");
    EXPECT_EQ(failureOf(*set, "\\ARNA\\fine.txt"), "Can't open file!");
}

}  // namespace
}  // namespace kestran_db
