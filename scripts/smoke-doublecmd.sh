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
# Exit status 0 when it passes; 1 when the plug-in fails in the host, and also when the
# host cannot be installed or does not start (three tries, each on a fresh X server that
# is waited for until it accepts connections): nothing here is a limit of a machine.
# The last line says PASSED or FAILED; with KESTRAN_RESULT_FILE set, that line is also
# written there (scripts/test.sh repeats it in its closing lines).
set -uo pipefail
cd "$(dirname "$0")/.."
preset=${1:-debug}

result() {
  echo "$1"
  [ -z "${KESTRAN_RESULT_FILE:-}" ] || echo "$1" >"$KESTRAN_RESULT_FILE"
}
fail() { result "FAILED: smoke-doublecmd: $*"; exit 1; }

bash scripts/deps-smoke.sh || fail "could not install the host's packages (scripts/deps-smoke.sh)"
for tool in doublecmd Xvfb xdotool import; do
  command -v "$tool" >/dev/null 2>&1 || fail "$tool is not installed, though scripts/deps-smoke.sh ran"
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

export HOME=$work/home XDG_RUNTIME_DIR=$work/xdg LANG=C.UTF-8 TZ=UTC
xpid=""; dpid=""
stop_host() {
  [ -n "$dpid" ] && { kill "$dpid" 2>/dev/null; wait "$dpid" 2>/dev/null; }
  [ -n "$xpid" ] && { kill "$xpid" 2>/dev/null; wait "$xpid" 2>/dev/null; }
  dpid=""; xpid=""
}
trap stop_host EXIT

# An X server on a display number it picks itself (-displayfd: no race for a free
# number), waited for until it accepts connections; a server that has made its socket
# may still refuse the first clients under load.
start_x() {  # LOG
  local display_file
  display_file=$(mktemp)
  Xvfb -displayfd 9 -screen 0 1600x900x24 -nolisten tcp 9>"$display_file" >"$1" 2>&1 </dev/null &
  xpid=$!
  for _ in $(seq 100); do [ -s "$display_file" ] || ! kill -0 "$xpid" 2>/dev/null && break; sleep 0.1; done
  DISPLAY=":$(head -n 1 "$display_file" 2>/dev/null)"
  rm -f "$display_file"
  export DISPLAY
  [ "$DISPLAY" != ":" ] || return 1
  for _ in $(seq 100); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
    kill -0 "$xpid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# Double Commander's main window, waited for up to 30 s.
start_host() {  # LOG
  doublecmd --no-splash --config-dir="$work/cfg" -L "$work/out" -R "$work/out" >"$1" 2>&1 &
  dpid=$!
  main=""
  for _ in $(seq 60); do
    kill -0 "$dpid" 2>/dev/null || return 1
    main=$(xdotool search --onlyvisible --name "Double Commander" 2>/dev/null | head -1)
    [ -n "$main" ] && return 0
    sleep 0.5
  done
  return 1
}

started=0
for try in 1 2 3; do
  if ! start_x "$work/xvfb-$try.log"; then
    echo "smoke-doublecmd: try $try: Xvfb did not accept connections (see $work/xvfb-$try.log)" >&2
  elif ! start_host "$work/doublecmd-$try.log"; then
    echo "smoke-doublecmd: try $try: Double Commander did not show its window on $DISPLAY" \
      "(see $work/doublecmd-$try.log)" >&2
  else
    started=1; break
  fi
  stop_host
  sleep 2
done
[ "$started" -eq 1 ] || fail "Double Commander did not start in 3 tries (logs: $work/xvfb-N.log, $work/doublecmd-N.log)"

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
result "PASSED: smoke-doublecmd: the release package's plug-in in Double Commander: root, installation with\
 the plug-in's columns, properties and F5 copies of ${copies[*]} ($work${try:+; started on try $try})"
