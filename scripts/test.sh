#!/usr/bin/env bash
# Sets up, builds and runs every test:
#   - the debug build and the sanitizer builds (AddressSanitizer with
#     UndefinedBehaviorSanitizer, ThreadSanitizer): unit suites, the host-boundary
#     suite against the built plug-in, kestran-db, and the fuzz corpus replayed;
#   - a 32-bit Linux build (g++ -m32): the same suites with a 32-bit size_t, run
#     through QEMU's user-mode emulator on every machine;
#   - the plug-in in a real host, Double Commander under Xvfb;
#   - the Windows DLLs cross-built with MinGW-w64 and tested under Wine, the 32-bit one
#     with its programs started through QEMU on every machine.
# The closing lines sum up each part, what this machine is, and anything that could
# not run here and why.
source "$(dirname "$0")/lib/fail-loudly.sh"
source "$(dirname "$0")/lib/ctest-summary.sh"
cd "$(dirname "$0")/.."
bash scripts/deps-native.sh

results=()
run_ctest() {  # PRESET LABEL
  local log="build/$1/ctest.log"
  ctest --preset "$1" -j2 2>&1 | tee "$log"
  results+=("$2: $(ctest_summary "$1" "$log")")
}

for preset in debug asan tsan; do
  step "$preset: build"
  bash scripts/build.sh "$preset"
  step "$preset: tests"
  run_ctest "$preset" "$preset"
done

# 32-bit Linux: what wraps with a 32-bit size_t, as in the 32-bit Windows DLL. ctest
# starts every test program through QEMU's user-mode emulator, on every machine (see
# cmake/toolchains/linux-i686.cmake).
step "linux32: build"
bash scripts/deps-linux32.sh
bash scripts/build.sh linux32
step "linux32: tests (through QEMU)"
run_ctest linux32 "linux32 (through $(qemu-i386-static --version | head -n 1))"

step "Double Commander smoke test"
smoke_result="$(mktemp)"
KESTRAN_RESULT_FILE="$smoke_result" bash scripts/smoke-doublecmd.sh debug
results+=("$(cat "$smoke_result")")
rm -f "$smoke_result"

step "Windows builds under Wine"
windows_result="$(mktemp)"
KESTRAN_RESULT_FILE="$windows_result" bash scripts/test-windows.sh
mapfile -t -O "${#results[@]}" results <"$windows_result"
rm -f "$windows_result"

if grep -qsx enabled /proc/sys/fs/binfmt_misc/qemu-i386; then
  machine="this kernel cannot start 32-bit programs itself; QEMU is registered to start them"
else
  machine="this kernel starts 32-bit programs itself"
fi
echo
echo "Summary ($(uname -m), $machine):"
printf '  %s\n' "${results[@]}"
