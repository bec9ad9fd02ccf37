// FsExecuteFile through the built plug-in; on Linux with and without the host's
// extension interface for dialogs (the Windows dialog has dialog_test_win32.cpp).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "installations.h"

namespace kestran::hosttest {
namespace {

#if !defined(_WIN32)
namespace dc = kestran::plugin::dc;
#endif

// What the fake host's dialog functions were shown.
std::vector<std::string> formsShown;
std::vector<std::string> messagesShown;

#if !defined(_WIN32)
int showForm(std::intptr_t formText, unsigned long size, dc::DlgProc) {
    formsShown.emplace_back(reinterpret_cast<const char*>(formText), size);
    return 1;
}

int showMessage(char* text, char* caption, long flags) {
    messagesShown.push_back(std::string(caption) + "|" + std::to_string(flags) + "|" + text);
    return 1;
}
#endif

class VerbsTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeArna(temp.path() / "arna");
        host = std::make_unique<PluginHost>(
            temp.path() / "plugin",
            settingsFor({{"ARNA", "3312", temp.path() / "arna"}, {"MINE", "3312", temp.path() / "arna"}}));
        host->FsInit(0, nullptr, nullptr, nullptr);
        formsShown.clear();
        messagesShown.clear();
#if !defined(_WIN32)
        info = std::make_unique<dc::ExtensionStartupInfo>();
        std::memset(info.get(), 0, sizeof *info);
        info->StructSize = sizeof *info;
#endif
    }

    TempFolder temp;
    std::unique_ptr<PluginHost> host;
#if !defined(_WIN32)
    std::unique_ptr<dc::ExtensionStartupInfo> info;
#endif
};

TEST_F(VerbsTest, OpenGoesBackToTheHostAndOtherVerbsAreRefused) {
    struct Case {
        const char* path;
        const char* verb;
        int result;
    };
    const Case cases[] = {
        {"/ARNA/textures/wall.dds", "open", FS_EXEC_YOURSELF},
        {"/nowhere/at/all", "open", FS_EXEC_YOURSELF},
        {"/ARNA", "properties", FS_EXEC_YOURSELF},
        {"/ARNA/textures/wall.dds", "properties", FS_EXEC_ERROR},  // not listed yet
        {"/ARNA/textures/wall.dds", "Properties", FS_EXEC_ERROR},
        {"/ARNA/textures/wall.dds", "chmod 644", FS_EXEC_ERROR},
        {"/ARNA/textures/wall.dds", "quote ls", FS_EXEC_ERROR},
    };
#if defined(_WIN32)
    DialogWatcher watcher;
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " / " + c.verb);
        EXPECT_EQ(host->execute(c.path, c.verb), c.result);
    }
    EXPECT_TRUE(formsShown.empty());
#if defined(_WIN32)
    EXPECT_TRUE(watcher.seen().empty());
#endif
}

#if !defined(_WIN32)

TEST_F(VerbsTest, PropertiesWithoutTheExtensionInterfaceIsAnError) {
    host->list("/ARNA");
    EXPECT_EQ(host->execute("/ARNA/textures/wall.dds", "properties"), FS_EXEC_ERROR);
}

TEST_F(VerbsTest, PropertiesShowsTheHostDialog) {
    info->MessageBox = showMessage;
    info->DialogBoxLFM = showForm;
    host->ExtensionInitialize(info.get());
    host->list("/ARNA");
    host->list("/MINE");

    EXPECT_EQ(host->execute("/ARNA/textures/wall.dds", "properties"), FS_EXEC_OK);
    ASSERT_EQ(formsShown.size(), 1u);
    const std::string& form = formsShown[0];
    // Archives are shown by their lower-cased full path, joined to the root with "\".
    const std::string newer = lowerCase((temp.path() / "arna").string() + "\\resources.db1");
    const std::string older = lowerCase((temp.path() / "arna").string() + "\\resources.db0");
    std::size_t at = 0;
    for (const std::string& piece :
         {std::string("Caption = 'File Properties'"), std::string("Caption = 'Close'"),
          std::string("Caption = 'File name:'"), std::string("Caption = 'File size:'"),
          std::string("Caption = 'Archive files (descending priority order):'"), "'" + newer + "'", "'" + older + "'",
          std::string("Caption = '\\ARNA\\textures\\wall.dds'"),
          "Caption = '" + std::to_string(newWall().size()) + "'"}) {
        const std::size_t found = form.find(piece, at);
        ASSERT_NE(found, std::string::npos) << piece << "\n" << form;
        at = found + piece.size();
    }

    // A top directory under a name of the user's own has properties too.
    EXPECT_EQ(host->execute("/MINE", "properties"), FS_EXEC_OK);
    EXPECT_EQ(formsShown.size(), 2u);
    EXPECT_TRUE(messagesShown.empty());
}

TEST_F(VerbsTest, PropertiesFallsBackToAMessageBox) {
    info->MessageBox = showMessage;
    host->ExtensionInitialize(info.get());
    host->list("/ARNA");
    EXPECT_EQ(host->execute("/ARNA/docs/readme.txt", "properties"), FS_EXEC_OK);
    const std::string archive = lowerCase((temp.path() / "arna").string() + "\\resources.db0");
    EXPECT_EQ(messagesShown,
              std::vector<std::string>{"File Properties|64|File name: \\ARNA\\docs\\readme.txt\nFile size: 7\n"
                                       "Archive files (descending priority order):\n" +
                                       archive});

    // A record too short to hold the dialog functions gives none.
    info->StructSize = 100;
    host->ExtensionInitialize(info.get());
    EXPECT_EQ(host->execute("/ARNA/docs/readme.txt", "properties"), FS_EXEC_ERROR);
}
#endif

}  // namespace
}  // namespace kestran::hosttest
