#pragma once
// Finding the game's installed editions through the keys their installers leave under
// HKEY_LOCAL_MACHINE: ARNA (first edition), VESK (second) and TOLM (third).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "config/installation_table.h"

namespace kestran {

// Which set of key paths to read. A 64-bit build names the 32-bit registry view
// directly (SOFTWARE\Wow6432Node\...); a 32-bit build names the plain path, which a
// 64-bit system redirects to the same place.
enum class RegistryKeySet { Wow6432Node, Plain };

// The key set of this build: Wow6432Node for 64-bit code, Plain for 32-bit code.
RegistryKeySet buildRegistryKeySet();

// The key path of an edition (0, 1 or 2) in a key set; empty text for another index.
std::string editionKeyPath(RegistryKeySet keySet, int editionIndex);

// Where the registry is read from. Defaults to the platform's reads of the local
// machine with this build's key set; tests put their own readers in.
struct RegistryAccess {
    using StringReader =
        std::function<std::optional<std::string>(const std::string& keyPath, const std::string& valueName)>;
    using DwordReader =
        std::function<std::optional<std::uint32_t>(const std::string& keyPath, const std::string& valueName)>;

    RegistryAccess();
    RegistryAccess(RegistryKeySet keySet, StringReader stringReader, DwordReader dwordReader);

    RegistryKeySet keySet;
    StringReader readString;
    DwordReader readDword;
};

// The InstallPath of an edition's key, up to its first NUL; empty text when it can't
// be read. An index other than 0, 1 or 2 gives empty text without a read.
std::string readInstallPath(int editionIndex, const RegistryAccess& access = RegistryAccess());

// The InstallPatchID (a REG_DWORD) of the first edition's key; 0 when it can't be read.
std::uint32_t readInstallPatchId(const RegistryAccess& access = RegistryAccess());

// The VersionCode of the first edition for its InstallPatchID: 1356 and 1498 give 0;
// 1350, 1351 and 1357 give 1; nullopt for 0 (the edition is not added). Any other
// patch level is an unknown update of the first edition and gets 0, whose loader also
// tries key variant 1 when variant 0 fails.
std::optional<std::int32_t> firstEditionVersionCode(std::uint32_t installPatchId);

// Adds (insert-or-replace) ARNA, VESK and TOLM for every edition whose key names a
// non-empty InstallPath. The editions are independent of one another.
void addRegistryInstallations(InstallationTable& table, const RegistryAccess& access = RegistryAccess());

}  // namespace kestran
