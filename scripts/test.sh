#!/usr/bin/env bash
# Sets up, builds and runs every test: the debug and sanitizer builds.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps-native.sh

for preset in debug asan; do
  echo "== $preset: build"
  bash scripts/build.sh "$preset"
  echo "== $preset: tests"
  ctest --preset "$preset" -j2
done
