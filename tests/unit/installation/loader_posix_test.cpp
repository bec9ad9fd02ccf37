// The loader when the system breaks off a directory walk (POSIX, where the test can
// make readdir fail).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "common/failure.h"
#include "installation/loader.h"
#include "installation_fixture.h"
#include "support/failing_readdir.h"

namespace kestran_db {
namespace {

using testing::ArchiveBuilder;

class LoaderOnPosix : public testing::TempFolder {
protected:
    std::string failureOf(std::int32_t versionCode) {
        try {
            loadInstallation(root.string(), versionCode, "\\ARNA\\");
        } catch (const kestran::Failure& f) {
            return f.what();
        }
        return "(loaded)";
    }

    static ArchiveBuilder holding(const std::string& name, std::uint32_t versionCode) {
        ArchiveBuilder builder(versionCode);
        builder.storedFile(name, bytes("x"));
        return builder;
    }
};

// An archive folder whose listing breaks off part-way (as a 32-bit readdir does with
// EOVERFLOW on a file system with 64-bit inode numbers) fails the load, naming the
// folder and the reason: the archives after the break would be missing, and another
// copy of their files would win without a word.
TEST_F(LoaderOnPosix, AnArchiveFolderThatCannotBeListedToItsEndFailsTheLoad) {
    for (const char* name : {"a.db0", "b.db0", "c.db0"}) writeArchive(name, holding(std::string(name) + ".txt", 0));
    for (const char* name : {"data/a.db0", "data/b.db0"}) writeArchive(name, holding("x.txt", 2));
    writeText("fsgame.ltx", "$data$=true|false|$fs_root$|data\\\n");

    const std::string reason = std::strerror(EOVERFLOW);
    {
        const kestran::testing::ReaddirFailure failing(2, EOVERFLOW);
        EXPECT_EQ(failureOf(0), "cannot list the directory " + root.string() + ": " + reason);
    }
    {
        const kestran::testing::ReaddirFailure failing(1, EOVERFLOW);
        EXPECT_EQ(failureOf(2), "cannot list the directory " + (root / "data").string() + ": " + reason);
    }
    EXPECT_EQ(failureOf(0), "(loaded)");
    EXPECT_EQ(failureOf(2), "(loaded)");
}

}  // namespace
}  // namespace kestran_db
