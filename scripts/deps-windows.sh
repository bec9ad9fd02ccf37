#!/usr/bin/env bash
# Sets up everything the Windows cross build and its Wine tests need:
#   - the Debian packages (MinGW-w64 posix compilers, Wine 64 and 32 bit, Xvfb,
#     ImageMagick, icoutils, Python 3 for the DLL checks, zip for the release
#     package, bison), with deb-src entries derived from the system's own binary sources;
#   - static Boost 1.81 (program_options, filesystem, system; regex header-only),
#     LZO 2.10 and GoogleTest for x86_64-w64-mingw32 and i686-w64-mingw32, built
#     into a cache outside the clone:
#       ${KESTRAN_WINDOWS_CACHE:-~/.cache/kestran/windows}/<triplet>/prefix
# Idempotent: every built piece leaves a stamp, and a rerun with everything in
# place does nothing and prints nothing. Each step that does work prints its time.
# A wine32 that cannot be installed is reported; the 32-bit tests then skip. On a kernel
# that cannot start 32-bit programs, QEMU's user-mode emulator is registered to start
# them (qemu-user-static and a binfmt_misc entry; needs root).
script_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$script_dir/lib/fail-loudly.sh"
source "$script_dir/lib/packages.sh"
source "$script_dir/lib/i386.sh"

cache_root="${KESTRAN_WINDOWS_CACHE:-$HOME/.cache/kestran/windows}"
src_root="$cache_root/src"
toolchain_dir="$(cd "$script_dir/../cmake/toolchains" && pwd)"
triplets=(x86_64-w64-mingw32 i686-w64-mingw32)
jobs="${KESTRAN_JOBS:-2}"

# --- Debian packages ---------------------------------------------------------
add_foreign_architecture i386
install_missing_packages \
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 \
  wine wine64 fonts-wine xvfb xauth imagemagick icoutils python3 zip bison dpkg-dev xz-utils \
  cmake ninja-build

# wine32 is optional: without it the 32-bit tests are skipped, not failed. A failed
# attempt is remembered so that reruns stay quiet; remove the note to try again.
wine32_note="$cache_root/wine32-unavailable"
if ! package_installed wine32:i386 && [ ! -f "$wine32_note" ]; then
  step "installing wine32:i386"
  if apt_update && run_quietly kestran_apt install -y -qq --no-install-recommends wine32:i386; then
    done_step
  else
    mkdir -p "$cache_root"; date -u +%FT%TZ >"$wine32_note"
    echo "    wine32:i386 could not be installed; the 32-bit tests will be skipped (rm $wine32_note to retry)" >&2
  fi
fi

# A kernel without 32-bit program support can still start 32-bit Wine through QEMU's
# user-mode emulator. It is slow, so scripts/test-windows.sh then runs the 32-bit tests
# in a reduced form. A failed attempt is remembered like wine32's.
qemu_note="$cache_root/qemu-i386-unavailable"
if package_installed wine32:i386 && [ ! -f "$qemu_note" ] && ! let_i386_programs_start /usr/lib/wine/wine --version; then
  mkdir -p "$cache_root"; date -u +%FT%TZ >"$qemu_note"
  echo "    32-bit Wine cannot run here, not even through QEMU; the 32-bit tests will be skipped" \
    "(rm $qemu_note to retry)" >&2
fi

# --- Sources -----------------------------------------------------------------
stamp_dir() { echo "$cache_root/$1/stamps"; }
have() { [ -f "$(stamp_dir "$1")/$2" ]; }
mark() { mkdir -p "$(stamp_dir "$1")"; date -u +%FT%TZ >"$(stamp_dir "$1")/$2"; }

all_built=1
for t in "${triplets[@]}"; do
  for piece in boost lzo googletest; do have "$t" "$piece" || all_built=0; done
done
[ "$all_built" -eq 1 ] && exit 0

# Boost and LZO come from Debian's source packages.
ensure_deb_src_entries
mkdir -p "$src_root"
fetch_source() {  # fetch_source PACKAGE DIR-GLOB: unpacks Debian's source of PACKAGE once
  local pkg="$1" glob="$2" marker="$src_root/.$1.unpacked" dir
  if [ ! -f "$marker" ]; then
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

# --- Boost and LZO ------------------------------------------------------------
# Each compiled from its sources by a small CMake project of ours:
# - boost-mingw/: program_options and filesystem as static libraries, and a CMake
#   package config that offers Boost::headers, ::system, ::regex (header-only),
#   ::program_options and ::filesystem as find_package(Boost 1.81 CONFIG) expects;
# - lzo-mingw/: LZO the way its own generic build compiles it.
# build_from_sources TARGET NAME PROJECT SOURCE_VARIABLE SOURCE_DIR
build_from_sources() {
  local t="$1" name="$2" project="$3" source_variable="$4" source_dir="$5"
  local prefix="$cache_root/$t/prefix" build="$cache_root/$t/build/$name"
  step "building $name for $t"
  rm -rf "$build"
  run_quietly cmake -S "$script_dir/windows/$project" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain_dir/mingw-w64-${t%%-*}.cmake" -DCMAKE_BUILD_TYPE=Release \
    -D"$source_variable"="$source_dir" -DCMAKE_INSTALL_PREFIX="$prefix"
  run_quietly cmake --build "$build" -j "$jobs"
  run_quietly cmake --install "$build"
  rm -rf "$build"
  mark "$t" "$name"
  done_step
}

# --- GoogleTest --------------------------------------------------------------
build_googletest() {
  local t="$1" prefix="$cache_root/$1/prefix" build="$cache_root/$1/build/googletest"
  step "building GoogleTest for $t"
  rm -rf "$build"
  run_quietly cmake -S /usr/src/googletest -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain_dir/mingw-w64-${t%%-*}.cmake" -DCMAKE_BUILD_TYPE=Release \
    -Dgtest_disable_pthreads=ON -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON -DCMAKE_INSTALL_PREFIX="$prefix"
  run_quietly cmake --build "$build" -j "$jobs"
  run_quietly cmake --install "$build"
  rm -rf "$build"
  mark "$t" googletest
  done_step
}

boost_src=""; lzo_src=""
for t in "${triplets[@]}"; do
  if ! have "$t" boost; then
    [ -n "$boost_src" ] || boost_src="$(fetch_source boost1.81 'boost1.81-*')"
    build_from_sources "$t" boost boost-mingw BOOST_SOURCE_DIR "$boost_src"
  fi
  if ! have "$t" lzo; then
    [ -n "$lzo_src" ] || lzo_src="$(fetch_source lzo2 'lzo2-*')"
    build_from_sources "$t" lzo lzo-mingw LZO_SOURCE_DIR "$lzo_src"
  fi
  have "$t" googletest || build_googletest "$t"
done
