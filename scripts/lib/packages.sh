# Sourced by the setup scripts: installs the Debian packages that are missing, quietly,
# and does nothing at all when every one is there. Waits up to ten minutes for
# another apt run to let go of the package lock.
install_missing_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}" >&2
  local sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  local apt=($sudo_cmd env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)
  "${apt[@]}" update -qq >/dev/null
  "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
