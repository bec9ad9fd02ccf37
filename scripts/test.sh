#!/usr/bin/env bash
# Sets up, builds and runs every test: the debug build, the sanitizer builds
# (AddressSanitizer with UndefinedBehaviorSanitizer, ThreadSanitizer), and the plug-in
# in a real host (Double Commander under Xvfb; skipped when the host cannot run).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps-native.sh

for preset in debug asan tsan; do
  echo "== $preset: build"
  bash scripts/build.sh "$preset"
  echo "== $preset: tests"
  ctest --preset "$preset" -j2
done

echo "== Double Commander smoke test"
bash scripts/smoke-doublecmd.sh debug
