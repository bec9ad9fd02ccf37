#!/usr/bin/env bash
# Sets up, builds and runs every test:
#   - the debug build and the sanitizer builds (AddressSanitizer with
#     UndefinedBehaviorSanitizer, ThreadSanitizer): unit suites, the host-boundary
#     suite against the built plug-in, kestran-db, and the fuzz corpus replayed;
#   - a 32-bit Linux build (g++ -m32): the same suites with a 32-bit size_t;
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

# 32-bit Linux: what wraps with a 32-bit size_t, as in the 32-bit Windows DLL. Under
# QEMU (a kernel that cannot start 32-bit programs) the cases that race threads on
# purpose are left out, as for 32-bit Wine; the native and sanitizer runs cover them.
step "linux32: build"
bash scripts/deps-linux32.sh
bash scripts/build.sh linux32
step "linux32: tests"
linux32_skip=()
if bash -c 'source scripts/lib/i386.sh; i386_programs_are_emulated'; then
  linux32_skip=(-E 'HostThreads|ThreadsThatListOneInstallationAtOnceLoadItOnce|LookupsWhileOtherThreadsLoad')
fi
ctest --preset linux32 -j2 "${linux32_skip[@]}"

step "Double Commander smoke test"
bash scripts/smoke-doublecmd.sh debug

step "Windows builds under Wine"
bash scripts/test-windows.sh
