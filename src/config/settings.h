#pragma once
// The start-up step: reading "kestran.ini" beside the plug-in into the InstallationTable.
//
//   [main]
//   use_registry = false          # default true: also add the editions the registry names
//   name_encoding = CP1252        # names that are not UTF-8 come from this code page
//                                 # (default CP1251; "none" keeps the bytes)
//   [installations]
//   ARNA = 3312|D:\Games\ARNA     # name = build string, '=' or '|', root path
//   TOLM = 3967=E:\Games\TOLM
#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <string>

#include "common/name_codec.h"
#include "config/editions.h"
#include "config/installation_table.h"

namespace kestran {

constexpr const char* kSettingsFileName = "kestran.ini";
constexpr const char* kUseRegistryOption = "main.use_registry";
constexpr const char* kUseRegistryDescription = "try to search for installation locations in the registry";
constexpr const char* kNameEncodingOption = "main.name_encoding";
constexpr const char* kNameEncodingDescription =
    "the code page that names in the archives come from where they are not UTF-8, or none";

// The longest settings text that is read. The parser keeps every line it takes (some
// 40 bytes of memory per byte of text at worst), and a real file is a few hundred bytes;
// a longer text (or an endless stream) is refused like a text the parser rejects.
constexpr std::size_t kMaxSettingsSize = 64 * 1024;

// What runs when "main.use_registry" is true; normally addRegistryInstallations.
using RegistryStep = std::function<void(InstallationTable&)>;

struct SettingsOutcome {
    // False when the parser rejected the text (a line that is neither a section, an
    // option nor a comment; a use_registry value that is no boolean word; use_registry
    // given twice), or when it is longer than kMaxSettingsSize (then one byte past that
    // is read, no more). A rejected text counts as an empty one: none of its lines are
    // used and use_registry keeps its default, so the table keeps what it holds and the
    // registry is still searched.
    bool accepted = true;
    bool registrySearched = false;
    // How names that are not UTF-8 are shown where texts are UTF-8: the codec
    // "main.name_encoding" names, NameCodec::byDefault() when the text names none (or
    // one that NameCodec does not know, or is rejected).
    NameCodec nameCodec = NameCodec::byDefault();
};

// Reads settings text from a stream. The whole text is parsed before anything is
// written; then the registry step runs when use_registry is true, and then the
// installation lines are applied in file order (insert-or-replace), so a line replaces
// a registry entry of the same name and a later line an earlier one. Lines that don't
// define a usable installation are skipped silently.
SettingsOutcome applySettings(std::istream& in, InstallationTable& table, const RegistryStep& registryStep);

// The same for a file; a file that is missing or can't be opened reads as empty.
SettingsOutcome applySettingsFile(const std::string& settingsPath, InstallationTable& table,
                                  const RegistryStep& registryStep);

// "kestran.ini" in the directory of the plug-in file.
std::string settingsPathFor(const std::string& modulePath);

// The library's start-up step: finds the settings file beside this module and applies
// it (with the registry discovery, or the given registry step). False only when the
// module's own path can't be obtained; then nothing is read or changed.
bool loadConfiguration(void* moduleHandle, InstallationTable& table);
bool loadConfiguration(void* moduleHandle, InstallationTable& table, const RegistryStep& registryStep);

// The same step, with the outcome of the settings file; nothing when the module's own
// path can't be obtained.
std::optional<SettingsOutcome> loadSettings(void* moduleHandle, InstallationTable& table);
std::optional<SettingsOutcome> loadSettings(void* moduleHandle, InstallationTable& table,
                                            const RegistryStep& registryStep);

}  // namespace kestran
