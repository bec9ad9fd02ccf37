#!/usr/bin/env bash
# Sets up what the self-contained Linux plug-in (the linux-release preset) links: static,
# position-independent Boost 1.81 (program_options, filesystem; system and regex are
# header-only) and LZO 2.10, compiled from Debian's source packages into a cache outside
# the clone:
#     ${KESTRAN_LINUX_CACHE:-~/.cache/kestran/linux}/x86_64-linux-gnu/prefix
# Debian's own libboost_*.a and liblzo2.a are not position-independent, so a shared
# object cannot take them in. The unpacked sources are shared with the Windows setup.
# Idempotent: every built piece leaves a stamp, and a rerun with everything in place does
# nothing and prints nothing.
script_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$script_dir/lib/fail-loudly.sh"
source "$script_dir/lib/packages.sh"
source "$script_dir/lib/static-libs.sh"

cache_root="${KESTRAN_LINUX_CACHE:-$HOME/.cache/kestran/linux}"
target=x86_64-linux-gnu

install_missing_packages build-essential cmake ninja-build dpkg-dev xz-utils

if ! is_built "$cache_root" "$target" boost; then
  boost_src="$(fetch_debian_source boost1.81 'boost1.81-*')"
  build_static_library "$cache_root" "$target" boost "$boost_src"
fi
if ! is_built "$cache_root" "$target" lzo; then
  lzo_src="$(fetch_debian_source lzo2 'lzo2-*')"
  build_static_library "$cache_root" "$target" lzo "$lzo_src"
fi
