#!/usr/bin/env bash
# cmake --install of a build puts the tool, its manual page, its bash completion and
# the Linux plug-in with its settings sample where the README says, and the installed
# tool runs and its page is found by man.
#   install_test.sh BUILD_DIR
source "$(dirname "$0")/../../../scripts/lib/fail-loudly.sh"
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cd "$work/prefix"
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:[A-Z]*=//p' "$build/CMakeCache.txt")
for file in bin/kestran-db share/man/man1/kestran-db.1 share/bash-completion/completions/kestran-db \
  "${libdir:-lib}/kestran/kestran.wfx" "${libdir:-lib}/kestran/kestran.ini.sample"; do
  [ -f "$file" ] || { echo "FAILED: cmake --install made no $file; it made:"; find . -type f; exit 1; }
done
[ "$(bin/kestran-db --version)" = "kestran-db $(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")" ]
[ "$(MANPATH="$work/prefix/share/man" man -w kestran-db)" = "$work/prefix/share/man/man1/kestran-db.1" ]
echo "installed as described"
