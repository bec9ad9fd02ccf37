#!/usr/bin/env bash
# Cross-builds the win64 and win32 presets with MinGW-w64 and runs their tests under
# Wine, in a private Wine prefix (build/wine-prefix) served by one persistent
# wineserver that is stopped again at the end. The tests: the unit suites, the
# host-boundary suite against each built DLL (through the project's own Windows host
# program), registry discovery in the prefix's registry, the DLLs' export tables and
# resources, and the File Properties dialog on a private Xvfb display, with a
# screenshot left in build/<preset>/dialog-screenshot/.
#
#   scripts/test-windows.sh            both targets
#   scripts/test-windows.sh win64      only the named presets
#
# The win32 tests run with every 32-bit program started through QEMU's user-mode
# emulator, on every machine (see "32-bit programs through QEMU" below), so that a
# fault that shows only there cannot hide behind the machine a run happens to get.
# Where 32-bit Wine cannot run at all, win32 is still built, the checks of its DLL that
# need no Wine run, and every test that needs Wine is reported as SKIPPED with the
# reason in the closing lines.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/lib/fail-loudly.sh"
source "$root/scripts/lib/ctest-summary.sh"

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
boot_loader="$wine64"
[ "$can64" -eq 1 ] || boot_loader="$wine32"

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

# --- A private X display for the dialogs --------------------------------------------
mkdir -p "$root/build"
xvfb_pid="" server_pid=""
stop_servers() {
  stop_i386_through_qemu
  if [ -n "$server_pid" ]; then
    "$wineserver" -k >/dev/null 2>&1 || true
    wait "$server_pid" 2>/dev/null || true
  fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
}
trap stop_servers EXIT
if command -v Xvfb >/dev/null; then
  display_file="$(mktemp)"
  Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$display_file" >"$root/build/xvfb.log" 2>&1 </dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$display_file" ] || ! kill -0 "$xvfb_pid" 2>/dev/null && break; sleep 0.1; done
  if [ -s "$display_file" ]; then
    export DISPLAY=":$(head -n 1 "$display_file")"
    echo "==> Xvfb on display $DISPLAY"
  else
    rm -f "$display_file"
    echo "Xvfb did not start (see build/xvfb.log)" >&2; exit 1
  fi
  rm -f "$display_file"
else
  echo "Xvfb is not installed, though scripts/deps-windows.sh ran" >&2; exit 1
fi

# --- One wineserver for all runs --------------------------------------------------
server_log="$root/build/wineserver.log"
# A prefix made while 32-bit Wine could not run lacks its 32-bit half: make it anew
# once that changes.
mode_file="$WINEPREFIX/.kestran-wine-mode"
mode="wine64=$can64 wine32=$can32"
if [ -d "$WINEPREFIX" ] && [ "$(cat "$mode_file" 2>/dev/null)" != "$mode" ]; then
  rm -rf "$WINEPREFIX"
fi

# The server changes into the prefix as it starts, so the prefix's folder must exist
# first; without it the server quits at once, each Wine program starts a server of its
# own that quits a few seconds after its last client, and a program that connects just
# as one quits dies with "wine client error: recvmsg: Connection reset by peer".
mkdir -p "$WINEPREFIX"
"$wineserver" -f -p >"$server_log" 2>&1 </dev/null &
server_pid=$!
server_running() { kill -0 "$server_pid" 2>/dev/null; }
for _ in $(seq 20); do server_running || break; sleep 0.1; done
server_running || { echo "wineserver did not stay up:" >&2; cat "$server_log" >&2; exit 1; }

start=$SECONDS
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$boot_loader" wineboot --init >>"$server_log" 2>&1 </dev/null
  echo "$mode" >"$mode_file"
  echo "==> made the Wine prefix $WINEPREFIX ($(elapsed $start))"
fi
# Dialogs without a window manager: Wine draws the frames itself and places the
# windows; the fonts the dialog and its caption buttons are drawn with.
dialog_mark="$WINEPREFIX/.kestran-dialogs"
if [ ! -f "$dialog_mark" ]; then
  for value in Decorated Managed; do
    "$boot_loader" reg add 'HKCU\Software\Wine\X11 Driver' /v "$value" /t REG_SZ /d N /f >>"$server_log" 2>&1 </dev/null
  done
  fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  cp /usr/share/wine/fonts/marlett.ttf /usr/share/wine/fonts/tahoma*.ttf "$fonts/" 2>>"$server_log" || true
  touch "$dialog_mark"
fi
# Wine's helper processes (the desktop among them, on the display) start here, with
# their output away from ctest's pipes: started from inside a test they would hold
# its output open and hang ctest.
"$boot_loader" wineboot >>"$server_log" 2>&1 </dev/null

# --- 32-bit programs through QEMU -------------------------------------------------
# The win32 tests start every 32-bit program (the Wine loader, the test programs,
# kestran-db.exe) through QEMU's user-mode emulator, as a kernel without 32-bit
# support does. Where the kernel starts them itself, a binfmt_misc entry of this run's
# own makes QEMU start them while the win32 tests run, and goes again at the end. The
# QEMU is the one deps-windows.sh made sure of (a release that runs 32-bit Wine:
# before 10.0, QEMU did not keep MAP_FIXED_NOREPLACE and Wine failed at start with
# "failed to map the shared user data"). Where no entry can be made here (no root, no
# binfmt_misc), the programs start natively and the closing lines say so.
binfmt=/proc/sys/fs/binfmt_misc
run_entry=kestran-test-i386
run_entry_made=0
how32=""
i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
start_i386_through_qemu() {
  if grep -qsx enabled "$binfmt/qemu-i386"; then
    how32="through QEMU ($(sed -n 's/^interpreter //p' "$binfmt/qemu-i386")): this kernel cannot start 32-bit programs itself"
    return 0
  fi
  local qemu=/usr/bin/qemu-i386-static why=""
  if [ ! -x "$qemu" ]; then
    why="$qemu is missing"
  elif [ ! -w "$binfmt/register" ] && ! mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null; then
    why="binfmt_misc cannot be used here (not mounted, and mounting it was refused)"
  elif [ -e "$binfmt/$run_entry" ] && ! echo -1 >"$binfmt/$run_entry" 2>/dev/null; then
    why="an entry $run_entry that this run cannot replace is registered"
  elif ! printf ':%s:M::%s:%s:%s:F' "$run_entry" "$i386_magic" "$i386_mask" "$qemu" >"$binfmt/register" 2>/dev/null; then
    why="binfmt_misc refused a new entry"
  fi
  if [ -n "$why" ]; then
    how32="NATIVELY, not through QEMU: $why"
    return 0
  fi
  run_entry_made=1
  how32="through QEMU ($("$qemu" --version | head -n 1)), by an entry of this run: this kernel starts 32-bit programs itself"
}
stop_i386_through_qemu() {
  [ "$run_entry_made" -eq 1 ] || return 0
  echo -1 >"$binfmt/$run_entry" 2>/dev/null || true
  run_entry_made=0
}

# The checks of a preset's built DLL that need no Wine: its export table, imports
# and resources, read from the file.
check_built_dll() {  # PRESET
  local dir="$root/build/$1" dll="$root/build/$1/src/plugin/kestran.wfx" width=32
  [ "$1" = win64 ] && { dll="${dll}64"; width=64; }
  python3 "$root/tests/host/check_dll.py" "$dll" "$width" \
    "$(sed -n 's/^CMAKE_OBJDUMP:FILEPATH=//p' "$dir/CMakeCache.txt")" \
    "$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")"
}

# --- Tests ------------------------------------------------------------------------
for p in "${presets[@]}"; do
  start=$SECONDS
  log="$root/build/$p/ctest-wine.log"
  if { [ "$p" = win64 ] && [ "$can64" -eq 0 ]; } || { [ "$p" = win32 ] && [ "$can32" -eq 0 ]; }; then
    reason="64-bit Wine cannot run here"; [ "$p" = win32 ] && reason="$why32"
    # What needs no Wine still runs: the checks of the built DLL (ctest itself can't
    # run here, since listing the test programs' cases needs Wine).
    if check_built_dll "$p" 2>&1 | tee "$log"; then
      result="passed"
    else
      result="FAILED"; status=1
    fi
    echo "==> $p: checks of the built DLL $result; every test that needs Wine SKIPPED: $reason"
    summary+=("$p: DLL export/import/resource checks $result; unit, host-boundary, registry and dialog tests SKIPPED ($reason)")
    continue
  fi
  # Under QEMU a 32-bit Wine process's threads racing on purpose (and a dialog shown
  # beside them) can hang: those cases run in win64, natively and under tsan instead.
  left_out=()
  if [ "$p" = win32 ]; then
    start_i386_through_qemu
    echo "==> win32 tests, 32-bit programs $how32"
    case "$how32" in through*) left_out=(-E 'HostThreads|ThreadsThatListOneInstallationAtOnceLoadItOnce|LookupsWhileOtherThreadsLoad') ;; esac
  fi
  if ctest --preset "$p" -j "$jobs" "${left_out[@]}" 2>&1 | tee "$log"; then
    result="passed"
  else
    result="FAILED"; status=1
    if ! server_running; then
      echo "==> the wineserver stopped during the $p tests; its log:"; cat "$server_log"
    fi
  fi
  counts="$(ctest_summary "$p" "$log")"
  echo "==> $p tests $result ($(elapsed $start))"
  shot="$root/build/$p/dialog-screenshot/properties-dialog.png"
  [ -f "$shot" ] && grep -q 'host_properties_dialog_screenshot .*Passed' "$log" && counts+="; dialog screenshot: ${shot#"$root"/}"
  grep -q 'host_properties_dialog_screenshot .*Skipped' "$log" && counts+="; dialog screenshot SKIPPED"
  [ "$p" = win32 ] && { stop_i386_through_qemu; counts+="; 32-bit programs started $how32"; }
  [ ${#left_out[@]} -eq 0 ] || counts+="; the thread races left out under QEMU (HostThreads, GuardedSets' two)"
  summary+=("$p: $result${counts:+ — $counts}")
done

echo
printf '%s\n' "${summary[@]}"
[ -z "${KESTRAN_RESULT_FILE:-}" ] || printf '%s\n' "${summary[@]}" >"$KESTRAN_RESULT_FILE"
exit "$status"
