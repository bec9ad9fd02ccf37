// Names in the archives that are not UTF-8. The Linux host works in UTF-8: it is shown
// them converted from the configured code page (CP1251 unless kestran.ini names another,
// or "none"), and every name it is shown leads back to its entry for listing, copying,
// properties and the content fields. The Windows host takes ANSI bytes: names reach it
// as they are, whatever the settings say.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "installations.h"

namespace kestran::hosttest {
namespace {

// CP1251 bytes, and the UTF-8 texts they show as.
const std::string kPrivet = "\xCF\xF0\xE8\xE2\xE5\xF2";                              // Привет
const std::string kPrivetUtf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";  // Привет
const std::string kFile = "\xF4\xE0\xE9\xEB.txt";                                    // файл.txt
const std::string kFileUtf8 = "\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.txt";                // файл.txt
const std::string kMir = "\xEC\xE8\xF0.txt";                                         // мир.txt
const std::string kMirUtf8 = "\xD0\xBC\xD0\xB8\xD1\x80.txt";                         // мир.txt, UTF-8 in the archive
const std::string kCafe = "caf\xE9.txt";                                             // café.txt in CP1252
const std::string kUndefined = "\x98.bin";                                           // no character in CP1251

// NAMES  names.db0: Привет\файл.txt, café.txt, мир.txt twice (once UTF-8, once CP1251),
//                   a byte CP1251 leaves undefined
//        names.db1: Привет\файл.txt again, newer
void writeNames(const fs::path& root) {
    kestran::testing::ArchiveBuilder first(0);
    first.storedFile(kPrivet + "\\" + kFile, bytesOf("cyrillic file"))
        .storedFile(kCafe, bytesOf("cafe"))
        .storedFile(kMirUtf8, bytesOf("utf-8 name"))
        .storedFile(kMir, bytesOf("cp1251 name"))
        .storedFile(kUndefined, bytesOf("undefined byte"));
    writeArchive(root / "names.db0", first, kOldTime);
    kestran::testing::ArchiveBuilder second(0);
    second.compressedFile(kPrivet + "\\" + kFile, bytesOf(floorTexture()));
    writeArchive(root / "names.db1", second, kNewTime);
}

// Shown path -> contents: what the host must find by the names it is shown.
using Expected = std::map<std::string, std::string>;

class NamesTest : public ::testing::Test {
protected:
    // Loads the plug-in with NAMES configured and these lines in [main].
    void start(const std::string& mainLines) {
        writeNames(temp.path() / "names");
        const std::string settings = "[main]\nuse_registry = false\n" + mainLines + "\n[installations]\nNAMES = 3312|" +
                                     (temp.path() / "names").string() + "\n";
        host = std::make_unique<PluginHost>(temp.path() / "plugin", settings);
        host->FsInit(0, nullptr, nullptr, nullptr);
    }

    // Every file below a directory, listed and copied by the names the host is shown.
    void copyEverything(const std::string& directory, Expected& found) {
        for (const Entry& entry : host->list(directory)) {
            const std::string path = directory + "/" + entry.name;
            if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                copyEverything(path, found);
                continue;
            }
            const fs::path target = temp.path() / "out" / std::to_string(found.size());
            fs::create_directories(target.parent_path());
            EXPECT_EQ(host->getFile(path, target, 0), FS_FILE_OK) << ::testing::PrintToString(path);
            found[path] = readFile(target);
        }
    }

    void expectCopies(const Expected& expected) {
        Expected found;
        copyEverything("/NAMES", found);
        EXPECT_EQ(found, expected);
    }

    TempFolder temp;
    std::unique_ptr<PluginHost> host;
};

#if !defined(_WIN32)

namespace dc = kestran::plugin::dc;

std::vector<std::string> formsShown;

int showForm(std::intptr_t formText, unsigned long size, dc::DlgProc) {
    formsShown.emplace_back(reinterpret_cast<const char*>(formText), size);
    return 1;
}

TEST_F(NamesTest, ShownConvertedFromCp1251ByDefault) {
    start("");
    // In the order of the archives' bytes; the CP1251 мир.txt beside the UTF-8 one keeps
    // its bytes, so that no two entries look alike.
    EXPECT_EQ(PluginHost::names(host->list("/NAMES")),
              (std::vector<std::string>{"caf\xD0\xB9.txt", "\xC2\x98.bin", kPrivetUtf8, kMirUtf8, kMir}));
    EXPECT_EQ(PluginHost::names(host->list("/NAMES/" + kPrivetUtf8)), std::vector<std::string>{kFileUtf8});
    expectCopies({{"/NAMES/caf\xD0\xB9.txt", "cafe"},
                  {"/NAMES/\xC2\x98.bin", "undefined byte"},
                  {"/NAMES/" + kPrivetUtf8 + "/" + kFileUtf8, floorTexture()},
                  {"/NAMES/" + kMirUtf8, "utf-8 name"},
                  {"/NAMES/" + kMir, "cp1251 name"}});
}

TEST_F(NamesTest, PropertiesAndContentFieldsFindTheShownName) {
    start("");
    auto info = std::make_unique<dc::ExtensionStartupInfo>();
    std::memset(info.get(), 0, sizeof *info);
    info->StructSize = sizeof *info;
    info->DialogBoxLFM = showForm;
    host->ExtensionInitialize(info.get());
    formsShown.clear();
    ASSERT_FALSE(host->list("/NAMES").empty());

    const std::string file = "/NAMES/" + kPrivetUtf8 + "/" + kFileUtf8;
    EXPECT_EQ(host->execute(file, "properties"), FS_EXEC_OK);
    ASSERT_EQ(formsShown.size(), 1u);
    // The dialog shows the path the host knows, and the entry's size and both archives.
    for (const std::string& piece : {"Caption = '\\NAMES\\" + kPrivetUtf8 + "\\" + kFileUtf8 + "'",
                                     "Caption = '" + std::to_string(floorTexture().size()) + "'",
                                     std::string("names.db1'"), std::string("names.db0'")})
        EXPECT_NE(formsShown[0].find(piece), std::string::npos) << piece << "\n" << formsShown[0];

    EXPECT_EQ(host->content(file, 0).text, "names.db1");
    EXPECT_EQ(host->content(file, 1).number, 2);
    EXPECT_EQ(host->content(file, 3).text, "LZO");
    EXPECT_EQ(host->content("/NAMES/" + kMir, 0).text, "names.db0");
    EXPECT_EQ(host->content("/NAMES/" + kPrivetUtf8, 0).type, ft_fieldempty);
    // The archive's own bytes, which are no UTF-8, lead to the entry too.
    EXPECT_EQ(host->content("/NAMES/" + kPrivet + "/" + kFile, 0).text, "names.db1");
    // A UTF-8 text the code page has no bytes for names nothing.
    EXPECT_EQ(host->content("/NAMES/\xE6\x97\xA5.txt", 0).type, ft_fileerror);
}

TEST_F(NamesTest, TheConfiguredCodePage) {
    start("name_encoding = CP1252");
    const std::string privet1252 = "\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2";  // Ïðèâåò
    const std::string file1252 = "\xC3\xB4\xC3\xA0\xC3\xA9\xC3\xAB.txt";                // ôàéë.txt
    EXPECT_EQ(PluginHost::names(host->list("/NAMES")),
              (std::vector<std::string>{"caf\xC3\xA9.txt", "\xCB\x9C.bin", privet1252, kMirUtf8,
                                        "\xC3\xAC\xC3\xA8\xC3\xB0.txt"}));
    expectCopies({{"/NAMES/caf\xC3\xA9.txt", "cafe"},
                  {"/NAMES/\xCB\x9C.bin", "undefined byte"},
                  {"/NAMES/" + privet1252 + "/" + file1252, floorTexture()},
                  {"/NAMES/" + kMirUtf8, "utf-8 name"},
                  {"/NAMES/\xC3\xAC\xC3\xA8\xC3\xB0.txt", "cp1251 name"}});
}

#endif

// Without conversion the host gets the archives' bytes, and finds every entry by them:
// on Linux with "none", on Windows always.
TEST_F(NamesTest, AsTheirBytes) {
#if defined(_WIN32)
    start("name_encoding = CP1252");
#else
    start("name_encoding = none");
#endif
    EXPECT_EQ(PluginHost::names(host->list("/NAMES")),
              (std::vector<std::string>{kCafe, kUndefined, kPrivet, kMirUtf8, kMir}));
    expectCopies({{"/NAMES/" + kCafe, "cafe"},
                  {"/NAMES/" + kUndefined, "undefined byte"},
                  {"/NAMES/" + kPrivet + "/" + kFile, floorTexture()},
                  {"/NAMES/" + kMirUtf8, "utf-8 name"},
                  {"/NAMES/" + kMir, "cp1251 name"}});
}

}  // namespace
}  // namespace kestran::hosttest
