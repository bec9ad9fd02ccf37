#pragma once
// The game's editions and builds, in one table: the names the registry discovery gives
// the editions, their registry keys, and the build strings of the settings file with
// the VersionCode each names.
#include <cstdint>
#include <optional>
#include <string>

namespace kestran {

struct Edition {
    const char* name;         // the installation name: "ARNA", "VESK", "TOLM"
    const char* registryKey;  // below SOFTWARE\ (and SOFTWARE\Wow6432Node\ for 64-bit code)
    // The VersionCode of the edition; none for the first, whose InstallPatchID decides.
    std::optional<std::int32_t> versionCode;
};

inline constexpr Edition kEditions[] = {
    {"ARNA", "Orvane\\KESTRAN-ARNA", std::nullopt},
    {"VESK", "Orvane\\KESTRAN-KAVESK", 2},
    {"TOLM", "Orvane\\KESTRAN-TOLM", 3},
};
constexpr int kEditionCount = sizeof(kEditions) / sizeof(kEditions[0]);

// Whether a path is the top directory of an edition under its registry name ("\ARNA").
bool isEditionTop(const std::string& virtualPath);

struct Build {
    const char* build;
    std::int32_t versionCode;
};

// The build strings of installation lines, compared byte for byte.
inline constexpr Build kBuilds[] = {
    {"3312", 0}, {"3312ru", 0}, {"3312en", 1}, {"3312ww", 1}, {"3312us", 1}, {"3795", 2}, {"3967", 3},
};

// "3312", "3312ru" -> 0; "3312en", "3312ww", "3312us" -> 1; "3795" -> 2; "3967" -> 3.
std::optional<std::int32_t> versionCodeForBuild(const std::string& build);
// "3312, 3312ru, 3312en, 3312ww, 3312us, 3795, 3967", for messages and help.
std::string buildList();

// VersionCodes 0 and 1: archives in the root directory, scrambled headers; 2 and 3:
// archive directories from fsgame.ltx, plain headers. No other value finds archives.
constexpr std::int32_t kLowestVersionCode = 0;
constexpr std::int32_t kHighestVersionCode = 3;
constexpr bool isKnownVersionCode(std::int32_t code) {
    return code >= kLowestVersionCode && code <= kHighestVersionCode;
}

}  // namespace kestran
