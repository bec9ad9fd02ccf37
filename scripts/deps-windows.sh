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
# A wine32 that cannot be installed is reported; the 32-bit tests then skip. QEMU's
# user-mode emulator in a release that runs 32-bit Wine (qemu-user-static, from the
# release's backports where its own is older); on a kernel that cannot start 32-bit
# programs, it is registered to start them (a binfmt_misc entry; needs root).
script_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$script_dir/lib/fail-loudly.sh"
source "$script_dir/lib/packages.sh"
source "$script_dir/lib/i386.sh"
source "$script_dir/lib/static-libs.sh"

cache_root="${KESTRAN_WINDOWS_CACHE:-$HOME/.cache/kestran/windows}"
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

# The win32 tests start 32-bit Wine through QEMU's user-mode emulator on every machine
# (scripts/test-windows.sh); a kernel without 32-bit program support needs it to start
# any 32-bit program. A failed attempt is remembered like wine32's.
install_current_qemu_user
qemu_note="$cache_root/qemu-i386-unavailable"
if package_installed wine32:i386 && [ ! -f "$qemu_note" ] && ! let_i386_programs_start /usr/lib/wine/wine --version; then
  mkdir -p "$cache_root"; date -u +%FT%TZ >"$qemu_note"
  echo "    32-bit Wine cannot run here, not even through QEMU; the 32-bit tests will be skipped" \
    "(rm $qemu_note to retry)" >&2
fi

# --- Boost and LZO ------------------------------------------------------------
# From Debian's source packages, each compiled by a small CMake project of ours (see
# scripts/lib/static-libs.sh and scripts/static-libs/):
# - boost/: program_options and filesystem as static libraries, and a CMake package
#   config that offers Boost::headers, ::system, ::regex (header-only),
#   ::program_options and ::filesystem as find_package(Boost 1.81 CONFIG) expects;
# - lzo/: LZO the way its own generic build compiles it.
all_built=1
for t in "${triplets[@]}"; do
  for piece in boost lzo googletest; do is_built "$cache_root" "$t" "$piece" || all_built=0; done
done
[ "$all_built" -eq 1 ] && exit 0

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
  mark_built "$cache_root" "$t" googletest
  done_step
}

boost_src=""; lzo_src=""
for t in "${triplets[@]}"; do
  toolchain="-DCMAKE_TOOLCHAIN_FILE=$toolchain_dir/mingw-w64-${t%%-*}.cmake"
  if ! is_built "$cache_root" "$t" boost; then
    [ -n "$boost_src" ] || boost_src="$(fetch_debian_source boost1.81 'boost1.81-*')"
    build_static_library "$cache_root" "$t" boost "$boost_src" "$toolchain"
  fi
  if ! is_built "$cache_root" "$t" lzo; then
    [ -n "$lzo_src" ] || lzo_src="$(fetch_debian_source lzo2 'lzo2-*')"
    build_static_library "$cache_root" "$t" lzo "$lzo_src" "$toolchain"
  fi
  is_built "$cache_root" "$t" googletest || build_googletest "$t"
done
