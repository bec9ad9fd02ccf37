#pragma once
// The installations the benchmarks measure, written by the test-side archive writer:
// shared by the benchmark programs and by kestran-make-bench-installation, which writes
// them for the benchmarks that are scripts.
#include <cstdint>
#include <string>

#include "support/archive_builder.h"

namespace kestran::bench {

// The large installation of 60,000 files is support/large_installation.h's.

// 64 MiB members.
constexpr std::uint32_t kLargeMember = 64u << 20;
// Texture-like bytes: smooth gradients with noise, packing with LZO1X to about a third.
kestran::testing::Bytes largeContents();
// Bytes that do not pack.
kestran::testing::Bytes noiseContents();

// One archive in the root holding largeContents() packed as textures\large.dds.
void writeLargePackedMember(const std::string& root);
// One archive in the root holding noiseContents() stored as textures\stored.dds.
void writeLargeStoredMember(const std::string& root);

}  // namespace kestran::bench
