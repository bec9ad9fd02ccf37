#!/usr/bin/env bash
# Installs what the Double Commander smoke test needs: the host, a virtual X server,
# a keyboard driver and a screenshot tool. Idempotent and quiet when all is there;
# waits for another apt run to let go of the package lock.
set -euo pipefail
packages=(doublecmd-qt xvfb xdotool imagemagick)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
# Another apt run may hold the package lock for a while: wait up to ten minutes for it.
apt=($sudo_cmd apt-get -o DPkg::Lock::Timeout=600)
"${apt[@]}" update -qq >/dev/null 2>&1 || true
"${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
