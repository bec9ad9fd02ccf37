#!/usr/bin/env bash
# Builds the release packages: the zip for Windows hosts, then the Linux archives
# (scripts/package-linux.sh).
#
#   build/package/kestran-wfx-<version>.zip
#     pluginst.inf         lets Total Commander install the plug-in when the user opens the zip
#     kestran.wfx          the plug-in for 32-bit hosts   } release builds, stripped
#     kestran.wfx64        the plug-in for 64-bit hosts   }
#     kestran.ini.sample   commented settings; copied to kestran.ini by the user
#     kestran-db.exe       the command-line tool (64-bit), release build, stripped
#     readme.txt
#
# Both DLLs are built from the same sources in release mode with MinGW-w64 (see
# scripts/deps-windows.sh), then checked like the test run checks them.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/lib/fail-loudly.sh"
source "$root/scripts/lib/pluginst.sh"

cd "$root"
jobs="${KESTRAN_JOBS:-2}"
out="$root/build/package"
version="$(sed -n 's/^project(kestran VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
[ -n "$version" ] || { echo "no project version in CMakeLists.txt" >&2; exit 1; }

bash "$root/scripts/deps-windows.sh"

stage="$out/kestran-wfx-$version"
rm -rf "$stage"
mkdir -p "$stage"

for target in x86_64 i686; do
  preset=win64-release; [ "$target" = i686 ] && preset=win32-release
  build="$root/build/$preset"
  start=$SECONDS
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target kestran_wfx kestran-db -j "$jobs" >/dev/null
  if [ "$target" = x86_64 ]; then name=kestran.wfx64 width=64; else name=kestran.wfx width=32; fi
  "$target-w64-mingw32-strip" -o "$stage/$name" "$build/src/plugin/$name"
  if ! checked="$(python3 "$root/tests/host/check_dll.py" "$stage/$name" "$width" "$target-w64-mingw32-objdump" \
    "$version")"; then
    echo "$checked" >&2; exit 1
  fi
  head -n 1 <<<"$checked"
  echo "==> $name built and checked ($((SECONDS - start)) s)"
  if [ "$target" = x86_64 ]; then
    "$target-w64-mingw32-strip" -o "$stage/kestran-db.exe" "$build/tools/kestran-db/kestran-db.exe"
    echo "==> kestran-db.exe built"
  fi
done

# Texts for Windows users: CRLF line ends.
crlf() { sed 's/$/\r/' >"$1"; }

pluginst_inf "$version" | crlf "$stage/pluginst.inf"

crlf "$stage/kestran.ini.sample" <"$root/src/resources/kestran.ini.sample"

crlf "$stage/readme.txt" <<EOF
K.E.S.T.R.A.N. db explorer $version
==================================

A read-only file-system plug-in (WFX) for Total Commander and Double Commander. Its
root lists the game's installations; inside one you browse one merged tree of all
its *.db* archives (the archive read last wins), copy files out with F5, and see
with the properties command (Alt+Enter) which archives hold a file, the winning
one first.

Installing
  Total Commander: open this zip in Total Commander and confirm the installation;
  the plug-in then appears under Network Neighborhood (or with \\\\\\ in the
  address bar). kestran.wfx serves 32-bit, kestran.wfx64 64-bit Total Commander.
  Double Commander for Windows: Options > Plugins > WFX > Add, and choose
  kestran.wfx64 (64-bit) or kestran.wfx (32-bit) from the unpacked folder.

Settings
  Installed editions are found in the registry. Other installations, or other
  folders for an edition, go into kestran.ini beside the plug-in: see
  kestran.ini.sample. Settings are read when the file manager starts.

The command-line tool
  kestran-db.exe lists, inspects and copies out the same merged tree in a console:
    kestran-db.exe archives --root C:\Games\TOLM
    kestran-db.exe conflicts --root C:\Games\TOLM
    kestran-db.exe extract / -o C:\Unpacked --root C:\Games\TOLM
  'kestran-db.exe --help' lists its commands, 'kestran-db.exe COMMAND --help' each one.

The plug-in never writes into archives, the registry or its settings.
EOF

zip_file="$out/kestran-wfx-$version.zip"
rm -f "$zip_file"
(cd "$stage" && zip -q -X "$zip_file" pluginst.inf kestran.wfx kestran.wfx64 kestran.ini.sample kestran-db.exe readme.txt)
echo "==> $zip_file"
unzip -l "$zip_file" | sed 's/^/    /'

bash "$root/scripts/package-linux.sh"
