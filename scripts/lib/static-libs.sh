# Sourced by the setup scripts that build static libraries from Debian's source
# packages (after fail-loudly.sh and packages.sh): scripts/deps-windows.sh for
# MinGW-w64, scripts/deps-linux-static.sh for the Linux plug-in.
#
#   fetch_debian_source PACKAGE DIR-GLOB
#       unpacks Debian's source of PACKAGE once into the shared source cache and prints
#       the directory it is in
#   build_static_library CACHE TARGET NAME SOURCE_DIR [CMAKE_ARGUMENT...]
#       builds scripts/static-libs/NAME (boost or lzo) from SOURCE_DIR and installs it
#       into CACHE/TARGET/prefix, then stamps NAME as built for TARGET
#   is_built CACHE TARGET NAME / mark_built CACHE TARGET NAME
#       the stamps: CACHE/TARGET/stamps/NAME
#
# The unpacked sources are shared by every target; they stay where the Windows setup
# first put them: ${KESTRAN_WINDOWS_CACHE:-~/.cache/kestran/windows}/src.

kestran_source_cache="${KESTRAN_WINDOWS_CACHE:-$HOME/.cache/kestran/windows}/src"
kestran_static_libs_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/../static-libs" && pwd)"

is_built() { [ -f "$1/$2/stamps/$3" ]; }
mark_built() { mkdir -p "$1/$2/stamps"; date -u +%FT%TZ >"$1/$2/stamps/$3"; }

fetch_debian_source() {
  local pkg="$1" glob="$2" src_root="$kestran_source_cache" marker dir
  marker="$src_root/.$pkg.unpacked"
  if [ ! -f "$marker" ]; then
    ensure_deb_src_entries
    mkdir -p "$src_root"
    step "fetching the Debian source of $pkg"
    # Whatever an interrupted earlier fetch left behind goes first.
    find "$src_root" -maxdepth 1 \( -name "$glob" -o -name "${pkg}_*" \) -exec rm -rf {} +
    # Lists older than the deb-src entries know no sources yet: refresh them once.
    if ! (cd "$src_root" && apt-get source -qq "$pkg" >/dev/null 2>&1); then
      find "$src_root" -maxdepth 1 \( -name "$glob" -o -name "${pkg}_*" \) -exec rm -rf {} +
      apt_update
      (cd "$src_root" && run_quietly apt-get source -qq "$pkg")
    fi
    touch "$marker"
    done_step
  fi
  dir="$(find "$src_root" -maxdepth 1 -type d -name "$glob" | head -n 1)"
  [ -n "$dir" ] || { echo "no unpacked source of $pkg in $src_root" >&2; return 1; }
  echo "$dir"
}

build_static_library() {
  local cache="$1" target="$2" name="$3" source_dir="$4"
  shift 4
  local prefix="$cache/$target/prefix" build="$cache/$target/build/$name" source_variable
  case "$name" in
    boost) source_variable=BOOST_SOURCE_DIR ;;
    lzo) source_variable=LZO_SOURCE_DIR ;;
    *) echo "build_static_library: no project for $name in $kestran_static_libs_dir" >&2; return 1 ;;
  esac
  step "building $name for $target"
  rm -rf "$build"
  run_quietly cmake -S "$kestran_static_libs_dir/$name" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -D"$source_variable"="$source_dir" -DCMAKE_INSTALL_PREFIX="$prefix" "$@"
  run_quietly cmake --build "$build" -j "${KESTRAN_JOBS:-2}"
  run_quietly cmake --install "$build"
  rm -rf "$build"
  mark_built "$cache" "$target" "$name"
  done_step
}
