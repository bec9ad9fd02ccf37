#!/usr/bin/env bash
# Installs the Debian packages that the native build and its tests need.
# Idempotent and quiet when everything is already there.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libboost1.81-dev libboost-program-options1.81-dev libboost-regex1.81-dev libboost-filesystem1.81-dev
  liblzo2-dev libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
$sudo_cmd apt-get update -qq
$sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
