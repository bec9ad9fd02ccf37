#!/usr/bin/env bash
# Smoke test in a real host: Double Commander (doublecmd-qt) under Xvfb loads the built
# plug-in, lists its root and an installation, shows a file's properties dialog and
# copies the file out with F5; the copy's bytes and last-write time are checked.
# Screenshots and logs go to build/PRESET/smoke/.
#
# Usage: scripts/smoke-doublecmd.sh [PRESET]   (default: debug; not a sanitizer preset,
#        since the host cannot load a sanitizer-built plug-in)
# Exit status 0 when it passes, and 0 with a SKIPPED line when the host cannot be
# installed or started; 1 when the plug-in fails in the host.
set -uo pipefail
cd "$(dirname "$0")/.."
preset=${1:-debug}

skip() { echo "SKIPPED: smoke-doublecmd: $*"; exit 0; }
fail() { echo "FAILED: smoke-doublecmd: $*"; exit 1; }

bash scripts/deps-smoke.sh || echo "smoke-doublecmd: could not install the host's packages" >&2
for tool in doublecmd Xvfb xdotool import; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
done

build_log=$(mktemp)
if ! bash scripts/build.sh "$preset" kestran_wfx kestran-make-smoke-installation >"$build_log" 2>&1; then
  tail -n 40 "$build_log"; rm -f "$build_log"; fail "build failed (its last lines are above)"
fi
rm -f "$build_log"
build=$(readlink -f "build/$preset")
plugin=$build/src/plugin/kestran.wfx
maker=$build/tests/smoke/kestran-make-smoke-installation
work=$build/smoke
name=kestran

rm -rf "$work"
mkdir -p "$work"/{cfg,home,xdg,out,plugin,installations}
chmod 700 "$work/xdg"
"$maker" "$work/installations/arna" || fail "cannot write the installation"
"$maker" "$work/installations/vesk" || fail "cannot write the installation"

# The plug-in reads kestran.ini beside itself.
cp "$plugin" "$work/plugin/kestran.wfx"
cat > "$work/plugin/kestran.ini" <<INI
[main]
use_registry = false
[installations]
VESK = 3312|$work/installations/vesk
ARNA = 3312|$work/installations/arna
INI

# A fresh host configuration: the plug-in, and hotkeys that open its root and the
# installation ARNA, ask for properties and quit. Hotkeys Version 52 keeps the host's
# default keys (F5, Enter, End) besides these.
cat > "$work/cfg/doublecmd.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<doublecmd DCVersion="1.0.10" ConfigVersion="13">
  <Plugins><WfxPlugins>
    <WfxPlugin Enabled="True"><Name>$name</Name><Path>$work/plugin/kestran.wfx</Path></WfxPlugin>
  </WfxPlugins></Plugins>
</doublecmd>
XML
cat > "$work/cfg/shortcuts.scf" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<doublecmd DCVersion="1.0.10">
  <Hotkeys Version="52"><Form Name="Main">
    <Hotkey><Shortcut>Ctrl+Shift+F11</Shortcut><Command>cm_ChangeDir</Command><Param>activepath=wfx://$name/</Param></Hotkey>
    <Hotkey><Shortcut>Ctrl+Shift+F9</Shortcut><Command>cm_ChangeDir</Command><Param>activepath=wfx://$name/ARNA</Param></Hotkey>
    <Hotkey><Shortcut>Ctrl+Shift+F12</Shortcut><Command>cm_FileProperties</Command></Hotkey>
    <Hotkey><Shortcut>Ctrl+Shift+F10</Shortcut><Command>cm_Exit</Command></Hotkey>
  </Form></Hotkeys>
</doublecmd>
XML

# A display number nobody uses.
dnum=""
for n in $(seq 91 140); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then dnum=$n; break; fi
done
[ -n "$dnum" ] || skip "no free X display number"

export DISPLAY=:$dnum HOME=$work/home XDG_RUNTIME_DIR=$work/xdg LANG=C.UTF-8 TZ=UTC
xpid=""; dpid=""
cleanup() {
  [ -n "$dpid" ] && kill "$dpid" 2>/dev/null
  [ -n "$xpid" ] && { kill "$xpid" 2>/dev/null; wait "$xpid" 2>/dev/null; }
}
trap cleanup EXIT

Xvfb ":$dnum" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xpid=$!
for _ in $(seq 50); do [ -S "/tmp/.X11-unix/X$dnum" ] && break; sleep 0.1; done
[ -S "/tmp/.X11-unix/X$dnum" ] || skip "Xvfb did not start (see $work/xvfb.log)"

doublecmd --no-splash --config-dir="$work/cfg" -L "$work/out" -R "$work/out" >"$work/doublecmd.log" 2>&1 &
dpid=$!
main=""
for _ in $(seq 60); do
  kill -0 "$dpid" 2>/dev/null || break
  main=$(xdotool search --onlyvisible --name "Double Commander" 2>/dev/null | head -1)
  [ -n "$main" ] && break
  sleep 0.5
done
[ -n "$main" ] || skip "Double Commander did not start (see $work/doublecmd.log)"

shot() { import -window root "$work/$1.png" || fail "screenshot $1"; }
focus_main() { xdotool windowfocus --sync "$main"; }  # no window manager: windowactivate fails

xdotool windowmove "$main" 0 0 windowsize "$main" 1280 800; sleep 1
focus_main
xdotool key ctrl+shift+F11; sleep 2
shot root
xdotool key ctrl+shift+F9; sleep 2
shot installation

# The last entry of ARNA's top directory is wall.dds (the host lists folders first).
xdotool mousemove 300 650 click 1; sleep 0.3
xdotool key End; sleep 0.3
xdotool key ctrl+shift+F12
dialog=$(timeout 10 xdotool search --sync --onlyvisible --name "^File Properties$" 2>/dev/null | head -1)
sleep 1
shot properties
[ -n "$dialog" ] || fail "no File Properties dialog (see $work/properties.png)"
xdotool windowfocus --sync "$dialog"; xdotool key Escape; sleep 0.5

focus_main
xdotool key F5
copy=$(timeout 10 xdotool search --sync --onlyvisible --name "^Copy file" 2>/dev/null | head -1)
[ -n "$copy" ] || fail "no copy dialog after F5"
xdotool windowfocus --sync "$copy"; xdotool key Return
for _ in $(seq 100); do [ -s "$work/out/wall.dds" ] && break; sleep 0.1; done
sleep 1
shot after-copy

focus_main; xdotool key ctrl+shift+F10
for _ in $(seq 100); do kill -0 "$dpid" 2>/dev/null || break; sleep 0.1; done

copied=$work/out/wall.dds
expected=$work/installations/arna.expected
[ -f "$copied" ] || fail "F5 copied nothing (see $work/after-copy.png)"
cmp -s "$copied" "$expected/wall.dds" || fail "the copy's bytes differ from the archive's"
[ "$(stat -c %Y "$copied")" = "$(cat "$expected/time")" ] ||
  fail "the copy's time $(stat -c %Y "$copied") is not the archive's $(cat "$expected/time")"
echo "PASSED: smoke-doublecmd: root, installation, properties and F5 copy in Double Commander ($work)"
