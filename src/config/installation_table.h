#pragma once
// The installations the plug-in shows: name -> root directory and VersionCode.
#include <cstdint>
#include <map>
#include <string>
#include <utility>

namespace kestran {

// VersionCode 0 and 1: archives directly in the root, headers descrambled with key
// variant 0 or 1 first; 2 and 3: archive directories from fsgame.ltx, plain headers.
// Any other value finds no archives.
struct Installation {
    std::string rootPath;  // exactly as configured: nothing trimmed or added
    std::int32_t versionCode = 0;
};

inline bool operator==(const Installation& a, const Installation& b) {
    return a.rootPath == b.rootPath && a.versionCode == b.versionCode;
}
inline bool operator!=(const Installation& a, const Installation& b) { return !(a == b); }

// Keyed by installation name, byte order, case-sensitive ("ARNA" and "arna" are two
// entries). std::string orders through char_traits<char>, that is as unsigned bytes.
// Entries are only ever added or replaced: use setInstallation.
using InstallationTable = std::map<std::string, Installation>;

// Insert-or-replace: a name already present gets both fields replaced.
inline void setInstallation(InstallationTable& table, const std::string& name, Installation installation) {
    table.insert_or_assign(name, std::move(installation));
}

}  // namespace kestran
