#!/usr/bin/env bash
# Smoke test in a real host: Double Commander (doublecmd-qt) under Xvfb loads the plug-in
# from the unpacked Linux release package (scripts/package-linux.sh), lists its root and
# an installation in a column set with the plug-in's fields, shows the properties of a
# file named in CP1251 bytes, and copies that file and an overridden one out with F5 (in
# the background, as the plug-in allows); the copies' names, bytes and last-write times
# are checked. Screenshots and logs go to build/PRESET/smoke/:
#   root.png          the plug-in's root: the installations ARNA and VESK
#   installation.png  ARNA with the columns Archive, Archives, Packed, Method: wall.dds
#                     and карта.ltx come from gamedata.db1, held by 2 archives each
#   properties.png    the properties of \ARNA\карта.ltx: its size and both archives
#   after-copy.png    both files copied into the right panel's folder
#
# Usage: scripts/smoke-doublecmd.sh [PRESET]   (default: debug) builds the installation's
#        writer in PRESET (not a sanitizer preset); the plug-in is always the release one.
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
if ! bash scripts/build.sh "$preset" kestran-make-smoke-installation >"$build_log" 2>&1 ||
  ! bash scripts/package-linux.sh >"$build_log" 2>&1; then
  tail -n 40 "$build_log"; rm -f "$build_log"; fail "build or packaging failed (its last lines are above)"
fi
rm -f "$build_log"
build=$(readlink -f "build/$preset")
maker=$build/tests/smoke/kestran-make-smoke-installation
work=$build/smoke
name=kestran
version="$(sed -n 's/^project(kestran VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
package=$(readlink -f "build/package/kestran-wfx-linux-x86_64-$version.tar.gz")

rm -rf "$work"
mkdir -p "$work"/{cfg,home,xdg,out,unpacked,installations}
chmod 700 "$work/xdg"
"$maker" "$work/installations/arna" || fail "cannot write the installation"
"$maker" "$work/installations/vesk" || fail "cannot write the installation"

# Installed as a user would: the release package unpacked, kestran.ini beside the plug-in.
tar -xzf "$package" -C "$work/unpacked" || fail "cannot unpack $package"
plugin_dir=$work/unpacked/kestran-wfx-linux-x86_64-$version
[ -f "$plugin_dir/kestran.wfx" ] || fail "no kestran.wfx in $package"
cat > "$plugin_dir/kestran.ini" <<INI
[installations]
VESK = 3312|$work/installations/vesk
ARNA = 3312|$work/installations/arna
INI

# A fresh host configuration: the plug-in, the host's default column set and one with
# the plug-in's fields (Double Commander 1.0 does not yet ask a plug-in for its default
# view), and hotkeys that open its
# root and the installation ARNA, switch to that column set, ask for properties and quit.
# Hotkeys Version 52 keeps the host's default keys (F5, Enter, End, Up, Insert) besides.
column() {  # column TITLE FUNCTION WIDTH ALIGN(0 left, 1 right)
  echo "<Column><Title>$1</Title><FuncString>$2</FuncString><Width>$3</Width><Align>$4</Align></Column>"
}
cat > "$work/cfg/doublecmd.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<doublecmd DCVersion="1.0.10" ConfigVersion="13">
  <Plugins><WfxPlugins>
    <WfxPlugin Enabled="True"><Name>$name</Name><Path>$plugin_dir/kestran.wfx</Path></WfxPlugin>
  </WfxPlugins></Plugins>
  <ColumnsSets>
    <ColumnsSet><Name>Default</Name><Columns>
      $(column Name "[DC().GETFILENAMENOEXT{}]" 250 0)
      $(column Ext "[DC().GETFILEEXT{}]" 50 0)
      $(column Size "[DC().GETFILESIZE{}]" 70 1)
      $(column Date "[DC().GETFILETIME{}]" 140 1)
      $(column Attr "[DC().GETFILEATTR{}]" 100 0)
    </Columns></ColumnsSet>
    <ColumnsSet><Name>kestran</Name><FileSystem>$name</FileSystem><Columns>
      $(column Name "[DC().GETFILENAMENOEXT{}]" 120 0)
      $(column Ext "[DC().GETFILEEXT{}]" 40 0)
      $(column Size "[DC().GETFILESIZE{}]" 70 1)
      $(column Date "[DC().GETFILETIME{}]" 150 1)
      $(column Archive "[Plugin(FS).Archive{}]" 130 0)
      $(column Archives "[Plugin(FS).Archives{}]" 70 1)
      $(column Packed "[Plugin(FS).Packed size{}]" 70 1)
      $(column Method "[Plugin(FS).Method{}]" 70 0)
    </Columns></ColumnsSet>
  </ColumnsSets>
</doublecmd>
XML
cat > "$work/cfg/shortcuts.scf" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<doublecmd DCVersion="1.0.10">
  <Hotkeys Version="52"><Form Name="Main">
    <Hotkey><Shortcut>Ctrl+Shift+F11</Shortcut><Command>cm_ChangeDir</Command><Param>activepath=wfx://$name/</Param></Hotkey>
    <Hotkey><Shortcut>Ctrl+Shift+F9</Shortcut><Command>cm_ChangeDir</Command><Param>activepath=wfx://$name/ARNA</Param></Hotkey>
    <Hotkey><Shortcut>Ctrl+Shift+F8</Shortcut><Command>cm_ColumnsView</Command><Param>columnset=kestran</Param></Hotkey>
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

Xvfb ":$dnum" -screen 0 1600x900x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
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

xdotool windowmove "$main" 0 0 windowsize "$main" 1600 900; sleep 1
focus_main
xdotool key ctrl+shift+F11; sleep 2
shot root
xdotool key ctrl+shift+F9; sleep 2
xdotool key ctrl+shift+F8; sleep 1
shot installation

# ARNA's top directory lists its folders first, then wall.dds and карта.ltx, the last.
xdotool mousemove 300 750 click 1; sleep 0.3
xdotool key End; sleep 0.3
xdotool key ctrl+shift+F12
dialog=$(timeout 10 xdotool search --sync --onlyvisible --name "^File Properties$" 2>/dev/null | head -1)
sleep 1
shot properties
[ -n "$dialog" ] || fail "no File Properties dialog (see $work/properties.png)"
xdotool windowfocus --sync "$dialog"; xdotool key Escape; sleep 0.5

# Both files selected (Insert selects and moves on), then copied.
focus_main
xdotool key Up; sleep 0.2
xdotool key Insert; sleep 0.2
xdotool key Insert; sleep 0.2
xdotool key F5
copy=$(timeout 10 xdotool search --sync --onlyvisible --name "^Copy file" 2>/dev/null | head -1)
[ -n "$copy" ] || fail "no copy dialog after F5"
xdotool windowfocus --sync "$copy"; xdotool key Return
expected=$work/installations/arna.expected
copies=()
for f in "$expected"/*; do [ "$(basename "$f")" = time ] || copies+=("$(basename "$f")"); done
for _ in $(seq 100); do
  all=1
  for f in "${copies[@]}"; do [ -s "$work/out/$f" ] || all=0; done
  [ "$all" -eq 1 ] && break
  sleep 0.1
done
sleep 1
shot after-copy

focus_main; xdotool key ctrl+shift+F10
for _ in $(seq 100); do kill -0 "$dpid" 2>/dev/null || break; sleep 0.1; done

[ ${#copies[@]} -eq 2 ] || fail "the installation's writer gave ${#copies[@]} files to expect, not 2"
for f in "${copies[@]}"; do
  copied=$work/out/$f
  [ -f "$copied" ] || fail "F5 did not copy $f (see $work/after-copy.png; copied: $(ls "$work/out"))"
  cmp -s "$copied" "$expected/$f" || fail "the bytes of the copy of $f differ from the archive's"
  [ "$(stat -c %Y "$copied")" = "$(cat "$expected/time")" ] ||
    fail "the time $(stat -c %Y "$copied") of the copy of $f is not the archive's $(cat "$expected/time")"
done
echo "PASSED: smoke-doublecmd: the release package's plug-in in Double Commander: root, installation with" \
  "the plug-in's columns, properties and F5 copies of ${copies[*]} ($work)"
