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
# On a kernel without 32-bit program support, 32-bit Wine runs through QEMU where
# deps-windows.sh could set that up, and the win32 tests run in a reduced form (see
# "32-bit tests through QEMU" below). Where 32-bit Wine cannot run at all, win32 is
# still built, the checks of its DLL that need no Wine run, and every test that needs
# Wine is reported as SKIPPED. Without Xvfb the dialog tests say SKIPPED too.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/lib/fail-loudly.sh"

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
# 32-bit programs started by QEMU's user-mode emulator (set up by deps-windows.sh where
# the kernel cannot start them itself).
emulated32=0
[ "$can32" -eq 1 ] && grep -qsx enabled /proc/sys/fs/binfmt_misc/qemu-i386 && emulated32=1
[ "$can64" -eq 1 ] || [ "$can32" -eq 1 ] || { echo "no Wine loader can run here" >&2; exit 1; }
boot_loader="$wine64"
[ "$can32" -eq 1 ] && { [ "$emulated32" -eq 0 ] || [ "$can64" -eq 0 ]; } && boot_loader="$wine32"

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
    echo "==> Xvfb did not start (see build/xvfb.log): the dialog tests will be SKIPPED"
    kill "$xvfb_pid" 2>/dev/null || true; xvfb_pid=""
  fi
  rm -f "$display_file"
else
  echo "==> Xvfb is not installed: the dialog tests will be SKIPPED"
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

# --- 32-bit tests through QEMU ---------------------------------------------------
# Under emulation every start of a 32-bit Wine program takes about a minute, so ctest's
# one process per case would take hours: each test program runs once with all its
# cases instead, two at a time. QEMU cannot run a 32-bit Wine process's threads side
# by side (even a plain program racing a few std::threads crashes in QEMU), so the
# cases that race threads on purpose are left out here; the native, tsan and win64
# runs cover them. A program that QEMU itself kills ("qemu: uncaught target signal")
# is started once more; a test that fails is never retried.
threaded_cases="HostThreads.*:GuardedSets.ThreadsThatListOneInstallationAtOnceLoadItOnce:GuardedSets.LookupsWhileOtherThreadsLoad"
# The checks of a preset's built DLL that need no Wine: its export table, imports
# and resources, read from the file.
check_built_dll() {  # PRESET
  local dir="$root/build/$1" dll="$root/build/$1/src/plugin/kestran.wfx" width=32
  [ "$1" = win64 ] && { dll="${dll}64"; width=64; }
  python3 "$root/tests/host/check_dll.py" "$dll" "$width" \
    "$(sed -n 's/^CMAKE_OBJDUMP:FILEPATH=//p' "$dir/CMakeCache.txt")" \
    "$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")"
}
run_emulated_program() {  # LOG, then the command
  local log="$1"; shift
  local attempt
  for attempt in 1 2; do
    timeout 1800 "$@" >"$log" 2>&1 </dev/null && return 0
    grep -q '^qemu: uncaught target signal' "$log" || return 1
    [ "$attempt" -eq 1 ] && cp "$log" "$log.qemu-crash" && echo "    QEMU crashed in $(basename "$log" .log); starting it once more"
  done
  return 1
}
run_emulated_win32() {
  local dir="$root/build/win32" out="$root/build/win32/emulated"
  rm -rf "$out"; mkdir -p "$out"
  local names=() exes=() arguments=() exe name i
  local filter="-$threaded_cases"
  [ -n "${DISPLAY:-}" ] || filter+=":PropertiesDialog.*"
  for exe in "$dir"/tests/unit/*/*_tests.exe "$dir"/tests/host/*_tests.exe; do
    names+=("$(basename "$exe" .exe)"); exes+=("$exe"); arguments+=("--gtest_filter=$filter")
  done
  for exe in "$dir"/fuzz/fuzz_replay_*.exe; do
    name="$(basename "$exe" .exe)"
    names+=("$name"); exes+=("$exe"); arguments+=("$root/fuzz/corpus/${name#fuzz_replay_}")
  done
  # The script's own servers run in the background too: only these runs are counted
  # and waited for.
  local pids=() live pid
  for i in "${!names[@]}"; do
    while live=0; for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && live=$((live + 1)); done
      [ "$live" -ge "$jobs" ]; do sleep 1; done
    ( run_emulated_program "$out/${names[$i]}.log" "$wine32" "${exes[$i]}" "${arguments[$i]}"
      echo $? >"$out/${names[$i]}.rc" ) &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid" || true; done
  local cases=0 programs=0 failed=() n
  for name in "${names[@]}"; do
    if [ "$(cat "$out/$name.rc" 2>/dev/null)" = 0 ]; then
      programs=$((programs + 1))
      n="$(tr -d '\r' <"$out/$name.log" | sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\.$/\1/p')"
      cases=$((cases + ${n:-0}))
      echo "    passed: $name${n:+ ($n cases)}"
    else
      failed+=("$name"); echo "    FAILED: $name (build/win32/emulated/$name.log):"; tail -n 30 "$out/$name.log"
    fi
  done
  local shot="skipped (no X display)"
  if [ -n "${DISPLAY:-}" ]; then
    if bash "$root/tests/host/dialog_screenshot.sh" "$wine32" "$dir/tests/host/host_tests.exe" "$dir/dialog-screenshot" \
        >"$out/dialog_screenshot.log" 2>&1; then
      shot="build/win32/dialog-screenshot/properties-dialog.png"
    else
      failed+=(dialog_screenshot); shot="FAILED (build/win32/emulated/dialog_screenshot.log)"
    fi
  fi
  local checks="passed"
  check_built_dll win32 >"$out/check_dll.log" 2>&1 ||
    { checks="FAILED"; failed+=(check_dll); cat "$out/check_dll.log"; }
  emulated_summary="through QEMU: $programs of ${#names[@]} test programs passed ($cases test cases, without the thread races); DLL checks $checks; dialog screenshot: $shot"
  [ ${#failed[@]} -eq 0 ]
}

# --- Tests ------------------------------------------------------------------------
counts_of() { grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1 || true; }
for p in "${presets[@]}"; do
  start=$SECONDS
  log="$root/build/$p/ctest-wine.log"
  if [ "$p" = win32 ] && [ "$emulated32" -eq 1 ]; then
    echo "==> win32 tests through QEMU: the kernel cannot start 32-bit programs (see build/win32/emulated/)"
    if run_emulated_win32; then result="passed"; else result="FAILED"; status=1; fi
    echo "==> win32 tests $result ($(elapsed $start))"
    summary+=("win32: $result — $emulated_summary")
    continue
  fi
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
  if ctest --preset "$p" -j "$jobs" 2>&1 | tee "$log"; then
    result="passed"
  else
    result="FAILED"; status=1
    if ! server_running; then
      echo "==> the wineserver stopped during the $p tests; its log:"; cat "$server_log"
    fi
  fi
  counts="$(counts_of "$log")"
  echo "==> $p tests $result ($(elapsed $start))"
  shot="$root/build/$p/dialog-screenshot/properties-dialog.png"
  [ -f "$shot" ] && grep -q 'host_properties_dialog_screenshot .*Passed' "$log" && counts+="; dialog screenshot: ${shot#"$root"/}"
  grep -q 'host_properties_dialog_screenshot .*Skipped' "$log" && counts+="; dialog screenshot SKIPPED"
  summary+=("$p: $result${counts:+ — $counts}")
done

echo
printf '%s\n' "${summary[@]}"
exit "$status"
