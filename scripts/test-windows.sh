#!/usr/bin/env bash
# Cross-builds the win64 and win32 presets with MinGW-w64 and runs their tests under
# Wine, headless, in a private Wine prefix (build/wine-prefix) served by one
# persistent wineserver that is stopped again at the end.
#
#   scripts/test-windows.sh            both targets
#   scripts/test-windows.sh win64      only the named presets
#
# Where 32-bit Wine cannot run (wine32 missing, or a kernel without 32-bit program
# support), win32 is still built and its tests are reported as skipped.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(win64 win32)
for p in "${presets[@]}"; do
  case "$p" in win64|win32) ;; *) echo "unknown preset: $p (win64 or win32)" >&2; exit 2 ;; esac
done

jobs="${KESTRAN_JOBS:-2}"
elapsed() { echo "$((SECONDS - $1)) s"; }

start=$SECONDS
bash "$root/scripts/deps-windows.sh"
[ $((SECONDS - start)) -lt 2 ] || echo "==> dependencies ready ($(elapsed $start))"

# --- Wine -----------------------------------------------------------------------
# Debian's "wine" launcher always takes the 32-bit loader once wine32 is installed,
# so each width's loader is called by name.
pick() { for candidate in "$@"; do [ -x "$candidate" ] && { echo "$candidate"; return 0; }; done; return 1; }
wine64="$(pick /usr/lib/wine/wine64 /usr/lib64/wine/wine64 "$(command -v wine64 || true)")" || wine64=""
wine32="$(pick /usr/lib/wine/wine "$(command -v wine || true)")" || wine32=""
wineserver="$(pick /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver32 "$(command -v wineserver || true)")" || {
  echo "wineserver not found: run scripts/deps-windows.sh" >&2; exit 1; }

export WINEPREFIX="$root/build/wine-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts
unset DISPLAY WAYLAND_DISPLAY

runs() { [ -n "$1" ] && "$1" --version >/dev/null 2>&1; }
can64=0; runs "$wine64" && can64=1
can32=0; runs "$wine32" && can32=1
why32="32-bit Wine (wine32:i386) is not installed"
if [ -n "$wine32" ] && [ "$can32" -eq 0 ]; then
  why32="32-bit Wine is installed but cannot start here ($( ("$wine32" --version 2>&1 || true) | tail -n 1 |
    sed 's/^.*line [0-9]*: //'); a kernel without 32-bit program support gives 'Exec format error')"
fi
[ "$can64" -eq 1 ] || [ "$can32" -eq 1 ] || { echo "no Wine loader can run here" >&2; exit 1; }
boot_loader="$wine64"; [ "$can32" -eq 1 ] && boot_loader="$wine32"

# --- Build ------------------------------------------------------------------------
# A target that fails to build doesn't stop the others: the tests that did build
# still run, and the run as a whole fails.
status=0
summary=()
for p in "${presets[@]}"; do
  start=$SECONDS
  cmake --preset "$p" >/dev/null
  if cmake --build --preset "$p" -j "$jobs" -- -k 0; then
    echo "==> built $p ($(elapsed $start))"
  else
    echo "==> $p did NOT build completely ($(elapsed $start))"
    summary+=("$p: build FAILED")
    status=1
  fi
done

# --- One wineserver for all runs --------------------------------------------------
mkdir -p "$root/build"
server_log="$root/build/wineserver.log"
# A prefix made while 32-bit Wine could not run lacks its 32-bit half: make it anew
# once that changes.
mode_file="$WINEPREFIX/.kestran-wine-mode"
mode="wine64=$can64 wine32=$can32"
if [ -d "$WINEPREFIX" ] && [ "$(cat "$mode_file" 2>/dev/null)" != "$mode" ]; then
  rm -rf "$WINEPREFIX"
fi

"$wineserver" -f -p >"$server_log" 2>&1 </dev/null &
server_pid=$!
stop_server() {
  "$wineserver" -k >/dev/null 2>&1 || true
  wait "$server_pid" 2>/dev/null || true
}
trap stop_server EXIT

start=$SECONDS
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$boot_loader" wineboot --init >>"$server_log" 2>&1 </dev/null
  echo "$mode" >"$mode_file"
  echo "==> made the Wine prefix $WINEPREFIX ($(elapsed $start))"
else
  # Wine's helper processes start here, with their output away from ctest's pipes:
  # started from inside a test they would hold its output open and hang ctest.
  "$boot_loader" wineboot >>"$server_log" 2>&1 </dev/null
fi

# --- Tests ------------------------------------------------------------------------
for p in "${presets[@]}"; do
  if { [ "$p" = win64 ] && [ "$can64" -eq 0 ]; } || { [ "$p" = win32 ] && [ "$can32" -eq 0 ]; }; then
    reason="64-bit Wine cannot run here"; [ "$p" = win32 ] && reason="$why32"
    echo "==> $p tests SKIPPED: $reason"
    summary+=("$p: skipped ($reason)")
    continue
  fi
  start=$SECONDS
  log="$root/build/$p/ctest-wine.log"
  if ctest --preset "$p" -j "$jobs" 2>&1 | tee "$log"; then
    result="passed"
  else
    result="FAILED"; status=1
  fi
  counts="$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)"
  echo "==> $p tests $result ($(elapsed $start))"
  summary+=("$p: $result${counts:+ — $counts}")
done

echo
printf '%s\n' "${summary[@]}"
exit "$status"
