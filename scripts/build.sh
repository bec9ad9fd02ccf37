#!/usr/bin/env bash
# Configures and builds one preset: scripts/build.sh PRESET [TARGET...]
source "$(dirname "$0")/lib/fail-loudly.sh"
cd "$(dirname "$0")/.."
if [ $# -lt 1 ]; then
  echo "usage: scripts/build.sh PRESET [TARGET...]   (presets: cmake --list-presets)" >&2
  exit 2
fi
preset=$1; shift
cmake --preset "$preset" >/dev/null
if [ $# -gt 0 ]; then
  cmake --build --preset "$preset" --target "$@"
else
  cmake --build --preset "$preset"
fi
