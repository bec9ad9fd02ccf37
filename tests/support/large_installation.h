#pragma once
// A large installation of the older layout (archives in the root, scrambled headers):
// eleven archives share 60,000 small files in some 8,700 directories, half of them
// LZO-packed, and a twelfth, read last, overrides 4,000 of them. For benchmarks:
// loading, and extracting the whole installation.
#include <string>

namespace kestran::testing {

constexpr int kLargeBaseArchives = 11;
constexpr int kLargeFiles = 60000;
constexpr int kLargeOverridden = 4000;

// The member name of file id: textures\terrain\set_0\item_0_bump.dds and the like.
std::string largeMemberName(int id);

// Writes the archives into directory (created when missing).
void writeLargeInstallation(const std::string& directory);

}  // namespace kestran::testing
