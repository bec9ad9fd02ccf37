#pragma once
// The bundled demo installation: the newer layout (VersionCode 3) with fsgame.ltx,
//
//   fsgame.ltx
//   data/base.db0      textures, configuration, levels, a readme
//   data/sounds.db1    sounds
//   patches/patch.db2  overrides one texture and the configuration, adds a level
//
// with stored and LZO-compressed members and fixed archive times, so that everything
// kestran-db prints for it is the same on every machine.
#include <cstdint>
#include <string>

namespace kestran::testing {

// The archives' last-write times, seconds since 1970 (UTC).
constexpr std::int64_t kDemoBaseTime = 1714564800;    // 2024-05-01T12:00:00Z
constexpr std::int64_t kDemoSoundsTime = 1714651200;  // 2024-05-02T12:00:00Z
constexpr std::int64_t kDemoPatchTime = 1717243200;   // 2024-06-01T12:00:00Z

// Writes the demo installation into directory (created when missing).
void writeDemoInstallation(const std::string& directory);

}  // namespace kestran::testing
