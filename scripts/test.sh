#!/usr/bin/env bash
# Sets up, builds and runs every test:
#   - the debug build and the sanitizer builds (AddressSanitizer with
#     UndefinedBehaviorSanitizer, ThreadSanitizer): unit suites, the host-boundary
#     suite against the built plug-in, kestran-db, and the fuzz corpus replayed;
#   - a 32-bit Linux build (g++ -m32): the same suites with a 32-bit size_t, run
#     through QEMU's user-mode emulator on every machine;
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

# 32-bit Linux: what wraps with a 32-bit size_t, as in the 32-bit Windows DLL. ctest
# starts every test program through QEMU's user-mode emulator, on every machine (see
# cmake/toolchains/linux-i686.cmake).
step "linux32: build"
bash scripts/deps-linux32.sh
bash scripts/build.sh linux32
step "linux32: tests (through QEMU)"
ctest --preset linux32 -j2

step "Double Commander smoke test"
bash scripts/smoke-doublecmd.sh debug

step "Windows builds under Wine"
bash scripts/test-windows.sh
