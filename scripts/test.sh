#!/usr/bin/env bash
# Sets up, builds and runs every test:
#   - the debug build and the sanitizer builds (AddressSanitizer with
#     UndefinedBehaviorSanitizer, ThreadSanitizer): unit suites, the host-boundary
#     suite against the built plug-in, kestran-db, and the fuzz corpus replayed;
#   - the plug-in in a real host, Double Commander under Xvfb (skipped when the host
#     cannot run);
#   - the Windows DLLs cross-built with MinGW-w64 and tested under Wine (32-bit runs
#     are skipped where the machine cannot start 32-bit programs).
source "$(dirname "$0")/lib/fail-loudly.sh"
cd "$(dirname "$0")/.."
bash scripts/deps-native.sh

for preset in debug asan tsan; do
  step "$preset: build"
  bash scripts/build.sh "$preset"
  step "$preset: tests"
  ctest --preset "$preset" -j2
done

step "Double Commander smoke test"
bash scripts/smoke-doublecmd.sh debug

step "Windows builds under Wine"
bash scripts/test-windows.sh
