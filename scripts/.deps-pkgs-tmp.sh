#!/usr/bin/env bash
# Sets up everything the Windows cross build and its Wine tests need:
#   - the Debian packages (MinGW-w64 posix compilers, Wine 64 and 32 bit, Xvfb,
#     ImageMagick, icoutils, bison), with a deb-src entry for the source packages;
#   - static Boost 1.81 (program_options, filesystem, system; regex header-only),
#     LZO 2.10 and GoogleTest for x86_64-w64-mingw32 and i686-w64-mingw32, built
#     into a cache outside the clone:
#       ${KESTRAN_WINDOWS_CACHE:-~/.cache/kestran/windows}/<triplet>/prefix
# Idempotent: every built piece leaves a stamp, and a rerun with everything in
# place does nothing and prints nothing. Each step that does work prints its time.
# A wine32 that cannot be installed is reported; the 32-bit tests then skip.
set -euo pipefail

cache_root="${KESTRAN_WINDOWS_CACHE:-$HOME/.cache/kestran/windows}"
src_root="$cache_root/src"
script_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
toolchain_dir="$(cd "$script_dir/../cmake/toolchains" && pwd)"
triplets=(x86_64-w64-mingw32 i686-w64-mingw32)
jobs="${KESTRAN_JOBS:-2}"

sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
export DEBIAN_FRONTEND=noninteractive

step_start=0
step() { step_start=$SECONDS; echo "==> $*" >&2; }
done_step() { echo "    done in $((SECONDS - step_start)) s" >&2; }
quiet() {  # runs a command silently, showing its output only when it fails
  local log; log="$(mktemp)"
  if ! "$@" >"$log" 2>&1; then
    tail -n 40 "$log" >&2; rm -f "$log"; return 1
  fi
  rm -f "$log"
}

is_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# --- Debian packages ---------------------------------------------------------
apt_updated=0
apt_update() {
  [ "$apt_updated" -eq 1 ] && return 0
  quiet $sudo_cmd apt-get update -qq
  apt_updated=1
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  step "adding the i386 architecture"
  $sudo_cmd dpkg --add-architecture i386
  apt_updated=0; done_step
  need_update=1
fi

# Source packages need a deb-src entry next to the system's binary entry.
deb_src=/etc/apt/sources.list.d/kestran-deb-src.sources
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  step "adding a deb-src entry ($deb_src)"
  printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm' 'Components: main' \
    'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' | $sudo_cmd tee "$deb_src" >/dev/null
  done_step
  need_update=1
fi

packages=(
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine wine64 fonts-wine xvfb xauth imagemagick icoutils bison dpkg-dev xz-utils
  cmake ninja-build
)
missing=()
for p in "${packages[@]}"; do is_installed "$p" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  step "installing ${missing[*]}"
  apt_update
  quiet $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
  done_step
elif [ "${need_update:-0}" -eq 1 ]; then
  step "refreshing the package lists"
  apt_update; done_step
fi

# wine32 is optional: without it the 32-bit tests are skipped, not failed.
if ! is_installed wine32:i386; then
  step "installing wine32:i386"
  apt_update
  if quiet $sudo_cmd apt-get install -y -qq --no-install-recommends wine32:i386; then
    done_step
  else
    echo "    wine32:i386 could not be installed; the 32-bit tests will be skipped" >&2
  fi
fi

# --- Sources -----------------------------------------------------------------
