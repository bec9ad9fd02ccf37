#!/usr/bin/env bash
# Builds the release packages of the Linux plug-in for Double Commander:
#
#   build/package/kestran-wfx-linux-x86_64-<version>.tar.gz
#     kestran-wfx-linux-x86_64-<version>/kestran.wfx          the plug-in, stripped
#     kestran-wfx-linux-x86_64-<version>/kestran.ini.sample   commented settings
#     kestran-wfx-linux-x86_64-<version>/readme.txt
#   build/package/kestran-wfx-linux-x86_64-<version>.zip
#     pluginst.inf, kestran.wfx, kestran.ini.sample, readme.txt: the zip that Double
#     Commander 1.1 and later install a plug-in from
#
# The plug-in is the linux-release build, with Boost and LZO linked in statically (see
# scripts/deps-linux-static.sh): it needs nothing but the C and C++ runtime. The packaged
# file is checked for that (its dynamic section) and for its exports.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/lib/fail-loudly.sh"
source "$root/scripts/lib/packages.sh"
source "$root/scripts/lib/pluginst.sh"

cd "$root"
jobs="${KESTRAN_JOBS:-2}"
out="$root/build/package"
version="$(sed -n 's/^project(kestran VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
[ -n "$version" ] || { echo "no project version in CMakeLists.txt" >&2; exit 1; }
name="kestran-wfx-linux-x86_64-$version"

install_missing_packages binutils zip unzip tar gzip
bash "$root/scripts/deps-linux-static.sh"

start=$SECONDS
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target kestran_wfx -j "$jobs" >/dev/null

stage="$out/$name"
rm -rf "$stage"
mkdir -p "$stage"
strip --strip-unneeded -o "$stage/kestran.wfx" "$root/build/linux-release/src/plugin/kestran.wfx"
cmake -DPLUGIN="$stage/kestran.wfx" -P "$root/tests/host/check_exports.cmake"
needed="$(cmake -DPLUGIN="$stage/kestran.wfx" -P "$root/tests/host/check_needed_libraries.cmake")"
echo "==> kestran.wfx built and checked ($((SECONDS - start)) s): $(stat -c %s "$stage/kestran.wfx") bytes," \
  "${needed#-- }"

cp "$root/src/resources/kestran.ini.sample" "$stage/kestran.ini.sample"
pluginst_inf "$version" >"$stage/pluginst.inf"

cat >"$stage/readme.txt" <<EOF
K.E.S.T.R.A.N. db explorer $version for Linux
============================================

A read-only file-system plug-in (WFX) for Double Commander. Its root lists the
game's installations; inside one you browse one merged tree of all its *.db*
archives (the archive read last wins), copy files out with F5 (in the background,
while you go on browsing), and see with the properties command which archives hold
a file, the winning one first. The columns Archive, Archives, Packed size and Method
(the plug-in's fields, Plugin(FS) in the column editor) show for every file the
archive that supplies it, how many archives hold it, its stored size and whether it
is stored or LZO-compressed.

kestran.wfx needs nothing but the C and C++ runtime (x86-64, glibc).

Installing
  Double Commander 1.0: unpack this folder where it is to stay, then Options >
  Plugins > WFX > Add, and choose kestran.wfx. Commands > Open VFS List then shows
  "K.E.S.T.R.A.N. db explorer".
  Double Commander 1.1 and later can also install it from
  $name.zip: run the command cm_AddPlugin and choose that zip.

Settings
  Installations go into kestran.ini beside kestran.wfx: copy kestran.ini.sample
  to kestran.ini and edit it, for example
      [installations]
      ARNA = 3312|/home/me/Games/ARNA
  Names in the archives that are not UTF-8 are shown converted from the code page
  that main.name_encoding names (CP1251 unless set; "none" shows the bytes as they
  are). Settings are read when Double Commander loads the plug-in.

The plug-in never writes into archives or its settings.
EOF

tar_file="$out/$name.tar.gz"
rm -f "$tar_file"
tar -C "$out" --sort=name --owner=0 --group=0 --numeric-owner -czf "$tar_file" \
  "$name/kestran.wfx" "$name/kestran.ini.sample" "$name/readme.txt"
echo "==> $tar_file"
tar -tvzf "$tar_file" | sed 's/^/    /'

zip_file="$out/$name.zip"
rm -f "$zip_file"
(cd "$stage" && zip -q -X "$zip_file" pluginst.inf kestran.wfx kestran.ini.sample readme.txt)
echo "==> $zip_file"
unzip -l "$zip_file" | sed 's/^/    /'
