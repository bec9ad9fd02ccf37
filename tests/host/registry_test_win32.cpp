// Registry discovery through the built DLL, against the real registry of the test's
// own Wine prefix: the editions' keys are written where their (32-bit) installers
// write them, then a fresh copy of the DLL is loaded so that its start-up step reads
// them, and the plug-in's root shows what it found. Both builds read that one place:
// the 64-bit DLL as SOFTWARE\Wow6432Node\..., the 32-bit one by the plain path.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "plugin_host.h"

namespace kestran::hosttest {
namespace {

constexpr const char* kVendorKey = "SOFTWARE\\Orvane";
constexpr const char* kEditionKeys[] = {"SOFTWARE\\Orvane\\KESTRAN-ARNA", "SOFTWARE\\Orvane\\KESTRAN-KAVESK",
                                        "SOFTWARE\\Orvane\\KESTRAN-TOLM"};
enum Edition { kArna, kVesk, kTolm };

// The 32-bit view, where the installers write, and the 64-bit one, which no build reads.
constexpr REGSAM kInstallerView = KEY_WOW64_32KEY;
constexpr REGSAM kOtherView = KEY_WOW64_64KEY;

constexpr std::int64_t kTime = 1500000000;

class RegistryDiscovery : public ::testing::Test {
protected:
    void SetUp() override {
        removeKeys();
        HKEY probe = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, 0, nullptr, 0, KEY_WRITE | kInstallerView, nullptr, &probe,
                            nullptr) != ERROR_SUCCESS)
            GTEST_SKIP() << "no write access to HKEY_LOCAL_MACHINE";
        RegCloseKey(probe);

        // ARNA keeps its archives in its root (headers scrambled with key variant 1,
        // which every first-edition VersionCode loads); VESK and TOLM name theirs in
        // fsgame.ltx.
        kestran::testing::ArchiveBuilder arna(1);
        arna.storedFile("arna.txt", bytesOf("arna"));
        writeArchive(roots[kArna] / "arna.db0", arna, kTime);
        for (Edition edition : {kVesk, kTolm}) {
            const std::string name = edition == kVesk ? "vesk.txt" : "tolm.txt";
            kestran::testing::ArchiveBuilder plain(2);
            plain.storedFile(name, bytesOf(name));
            writeArchive(roots[edition] / "data" / "resources.db0", plain, kTime);
            std::ofstream(roots[edition] / "fsgame.ltx") << "$data$=true|false|$fs_root$|data\\\n";
        }
        kestran::testing::ArchiveBuilder mine(0);
        mine.storedFile("mine.txt", bytesOf("mine"));
        writeArchive(settingsOnly / "mine.db0", mine, kTime);
    }
    void TearDown() override { removeKeys(); }

    static void removeKeys() {
        for (REGSAM view : {kInstallerView, kOtherView}) {
            HKEY software = nullptr;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS | view, &software) != ERROR_SUCCESS)
                continue;
            RegDeleteTreeA(software, "Orvane");
            RegCloseKey(software);
        }
    }

    static void setValue(Edition edition, const char* name, DWORD type, const void* data, DWORD size,
                         REGSAM view = kInstallerView) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kEditionKeys[edition], 0, nullptr, 0, KEY_WRITE | view, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static void setString(Edition edition, const char* name, const std::string& text, REGSAM view = kInstallerView) {
        setValue(edition, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1), view);
    }
    static void setDword(Edition edition, const char* name, DWORD number, REGSAM view = kInstallerView) {
        setValue(edition, name, REG_DWORD, &number, sizeof number, view);
    }

    void installPath(Edition edition, REGSAM view = kInstallerView) {
        setString(edition, "InstallPath", roots[edition].string(), view);
    }

    // A fresh copy of the DLL beside these settings, loaded now.
    std::unique_ptr<PluginHost> load(const std::string& settings = "") {
        auto host = std::make_unique<PluginHost>(temp.path() / ("plugin" + std::to_string(loads++)), settings);
        host->FsInit(0, nullptr, nullptr, nullptr);
        return host;
    }

    TempFolder temp;
    fs::path roots[3] = {temp.path() / "arna", temp.path() / "vesk", temp.path() / "tolm"};
    fs::path settingsOnly = temp.path() / "mine";
    int loads = 0;
};

using Names = std::vector<std::string>;

TEST_F(RegistryDiscovery, EditionsTheKeysName) {
    struct Case {
        const char* what;
        std::function<void()> write;
        Names root;
    };
    const Case cases[] = {
        {"no key", [] {}, {}},
        {"ARNA patch 1498",
         [this] {
             installPath(kArna);
             setDword(kArna, "InstallPatchID", 1498);
         },
         {"ARNA"}},
        {"ARNA patch 1357",
         [this] {
             installPath(kArna);
             setDword(kArna, "InstallPatchID", 1357);
         },
         {"ARNA"}},
        {"ARNA patch unknown to the table: still shown, loaded with either key variant",
         [this] {
             installPath(kArna);
             setDword(kArna, "InstallPatchID", 2024);
         },
         {"ARNA"}},
        {"ARNA without InstallPatchID", [this] { installPath(kArna); }, {}},
        {"ARNA patch 0",
         [this] {
             installPath(kArna);
             setDword(kArna, "InstallPatchID", 0);
         },
         {}},
        {"ARNA patch stored as text",
         [this] {
             installPath(kArna);
             setString(kArna, "InstallPatchID", "1498");
         },
         {}},
        {"ARNA path stored as a number",
         [] {
             setDword(kArna, "InstallPath", 1);
             setDword(kArna, "InstallPatchID", 1498);
         },
         {}},
        {"ARNA path empty",
         [] {
             setString(kArna, "InstallPath", "");
             setDword(kArna, "InstallPatchID", 1498);
         },
         {}},
        {"VESK and TOLM, whatever ARNA holds",
         [this] {
             installPath(kVesk);
             installPath(kTolm);
             setDword(kArna, "InstallPatchID", 1498);
         },
         {"TOLM", "VESK"}},
        {"all three",
         [this] {
             for (Edition e : {kArna, kVesk, kTolm}) installPath(e);
             setDword(kArna, "InstallPatchID", 1356);
         },
         {"ARNA", "TOLM", "VESK"}},
        {"keys only in the 64-bit view, which neither build reads",
         [this] {
             for (Edition e : {kArna, kVesk, kTolm}) installPath(e, kOtherView);
             setDword(kArna, "InstallPatchID", 1498, kOtherView);
         },
         {}},
    };
    const char* const files[] = {"arna.txt", "vesk.txt", "tolm.txt"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        removeKeys();
        c.write();
        const auto host = load();
        const Names root = PluginHost::names(host->list("/"));
        EXPECT_EQ(root, c.root);
        // Each edition found is its installation: listing it loads its archives.
        for (const std::string& name : root) {
            const int edition = name == "ARNA" ? kArna : name == "VESK" ? kVesk : kTolm;
            EXPECT_EQ(PluginHost::names(host->list("/" + name)), Names{files[edition]}) << name;
        }
    }
}

TEST_F(RegistryDiscovery, SettingsLinesComeAfterTheRegistry) {
    installPath(kArna);
    setDword(kArna, "InstallPatchID", 1498);
    installPath(kVesk);
    const std::string mine = settingsOnly.string();

    // A line for a registry edition replaces its entry.
    auto host = load("[installations]\nARNA = 3312|" + mine + "\n");
    EXPECT_EQ(PluginHost::names(host->list("/")), (Names{"ARNA", "VESK"}));
    EXPECT_EQ(PluginHost::names(host->list("/ARNA")), Names{"mine.txt"});

    // A line that is skipped (a build the table lacks) leaves the registry's entry.
    host = load("[installations]\nARNA = 9999|" + mine + "\nMINE = 3312|" + mine + "\n");
    EXPECT_EQ(PluginHost::names(host->list("/")), (Names{"ARNA", "MINE", "VESK"}));
    EXPECT_EQ(PluginHost::names(host->list("/ARNA")), Names{"arna.txt"});

    // Switched off: only the settings' own installations.
    host = load("[main]\nuse_registry = false\n[installations]\nMINE = 3312|" + mine + "\n");
    EXPECT_EQ(PluginHost::names(host->list("/")), Names{"MINE"});
}

TEST_F(RegistryDiscovery, SettingsThatTheParserRejectsStillLetTheDllLoad) {
    installPath(kVesk);
    const std::string mine = settingsOnly.string();
    // A line that is no option, and a use_registry that is no boolean word: the whole
    // file counts as empty, the registry is searched, and the DLL loads.
    for (const std::string& settings :
         {"[installations]\nMINE = 3312|" + mine + "\nthis line is no option\n",
          "[main]\nuse_registry = perhaps\n[installations]\nMINE = 3312|" + mine + "\n"}) {
        SCOPED_TRACE(settings);
        std::unique_ptr<PluginHost> host;
        ASSERT_NO_THROW(host = load(settings));
        EXPECT_EQ(PluginHost::names(host->list("/")), Names{"VESK"});
        EXPECT_EQ(PluginHost::names(host->list("/VESK")), Names{"vesk.txt"});
    }
}

}  // namespace
}  // namespace kestran::hosttest
