#!/usr/bin/env bash
# Shows the File Properties dialog through the Windows host program on the X display
# of this run, captures the screen with ImageMagick's import while the dialog is open,
# and lets the program check and close it.
#
#   dialog_screenshot.sh WINE HOST_TESTS_EXE OUT_DIR
#
# Leaves OUT_DIR/properties-dialog.png and OUT_DIR/dialog-open (what the program read
# back from the dialog). Exits 77 (skipped) without a display or without import.
set -uo pipefail
wine="$1" exe="$2" out="$3"
skip() { echo "SKIPPED: $*"; exit 77; }
[ -n "${DISPLAY:-}" ] || skip "no X display (scripts/test-windows.sh runs this under Xvfb)"
command -v import >/dev/null || skip "ImageMagick's import is not installed"

rm -rf "$out"
mkdir -p "$out"
KESTRAN_DIALOG_SHOT_DIR="$out" "$wine" "$exe" \
  --gtest_filter=PropertiesDialog.ShowsPathSizeAndArchivesFromTheHighestPriorityDown \
  >"$out/host.log" 2>&1 </dev/null &
pid=$!
# The program says when the dialog is on screen; it gives up waiting after a minute.
while [ ! -f "$out/dialog-open" ] && kill -0 "$pid" 2>/dev/null; do sleep 0.1; done
shot=0
if [ -f "$out/dialog-open" ]; then
  sleep 0.5  # lets the X server receive the last drawing
  import -window root "$out/properties-dialog.png" && shot=1
  touch "$out/shot-taken"
fi
wait "$pid"
status=$?
cat "$out/host.log"
grep -q 'SKIPPED' "$out/host.log" && skip "the dialog could not be shown (see above)"
[ "$status" -eq 0 ] || { echo "the host program failed ($status)"; exit 1; }
[ "$shot" -eq 1 ] || { echo "no screenshot was taken"; exit 1; }
echo "--- what the host program read back from the dialog:"
cat "$out/dialog-open"
echo "screenshot: $out/properties-dialog.png"
