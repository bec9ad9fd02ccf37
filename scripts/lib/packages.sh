# Sourced by the setup scripts (after fail-loudly.sh): the one way they install Debian
# packages. Nothing here names a package host: everything comes from the system's own
# apt configuration.
#
#   install_missing_packages PACKAGE...   installs the missing ones, quietly; does
#                                         nothing at all when every one is there
#   package_installed PACKAGE             true when dpkg has it installed
#   add_foreign_architecture ARCH         lets dpkg install packages of ARCH
#   ensure_deb_src_entries                adds deb-src entries for the system's own
#                                         binary sources, so that apt-get source works
#   ensure_backports_entry                adds the release's backports suite from the
#                                         same archive as the system's own packages
#                                         (taken only when asked for with -t)
#   apt_update                            refreshes the package lists once per script
#
# Every apt run waits up to ten minutes for another one to let go of the package lock.

kestran_apt_updated=0
kestran_sudo=""
[ "$(id -u)" -eq 0 ] || kestran_sudo="sudo"

kestran_apt() {
  $kestran_sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 "$@"
}

apt_update() {
  [ "$kestran_apt_updated" -eq 1 ] && return 0
  run_quietly kestran_apt update -qq
  kestran_apt_updated=1
}

# dpkg-query fails for a package it has never heard of; that only means "not installed".
package_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

install_missing_packages() {
  local missing=() p
  for p in "$@"; do
    package_installed "$p" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  step "installing ${missing[*]}"
  apt_update
  run_quietly kestran_apt install -y -qq --no-install-recommends "${missing[@]}"
  done_step
}

add_foreign_architecture() {
  dpkg --print-foreign-architectures | grep -qx "$1" && return 0
  step "letting dpkg install $1 packages"
  $kestran_sudo dpkg --add-architecture "$1"
  kestran_apt_updated=0
  done_step
}

# The deb-src twin of every enabled binary source of the system's own release (suites
# named after its codename, such as bookworm, bookworm-updates, bookworm-security):
# the same URIs, suites, components and keyring, in deb822 form. Reads one-line
# (*.list) and deb822 (*.sources) files; prints nothing when there is no such source.
# Third-party sources (other suites) are left out: many publish no sources.
derive_deb_src_entries() {  # CODENAME FILE...
  derive_entries deb-src "$@"
}

# The binary entry of the release's backports suite (CODENAME-backports) beside every
# enabled binary source that carries the release's own suite (CODENAME): the same URIs,
# components and keyring. Prints nothing when there is no such source.
derive_backports_entries() {  # CODENAME FILE...
  derive_entries backports "$@"
}

derive_entries() {  # deb-src|backports CODENAME FILE...
  local kind=$1 codename=$2; shift 2
  [ $# -gt 0 ] || return 0
  awk -v codename="$codename" -v kind="$kind" '
    function ours(suites,    n, s, i, kept) {
      n = split(suites, s, /[ \t]+/); kept = ""
      for (i = 1; i <= n; i++) {
        if (kind == "backports") { if (s[i] == codename) return codename "-backports"; continue }
        if (s[i] == codename || index(s[i], codename "-") == 1) kept = kept (kept == "" ? "" : " ") s[i]
      }
      return kept
    }
    function emit(uris, suites, components, signedBy, trusted) {
      suites = ours(suites)
      if (uris == "" || suites == "") return
      print "Types: " (kind == "backports" ? "deb" : "deb-src")
      print "URIs: " uris
      print "Suites: " suites
      if (components != "") print "Components: " components
      if (signedBy != "") print "Signed-By:" signedBy
      if (trusted != "") print "Trusted: " trusted
      print ""
    }
    function trim(t) { sub(/^[ \t]+/, "", t); sub(/[ \t]+$/, "", t); return t }
    # --- deb822 stanzas -------------------------------------------------------
    function flush(    types) {
      if (inStanza) {
        types = " " tolower(value["types"]) " "
        if (tolower(value["enabled"]) != "no" && types ~ / deb /)
          emit(value["uris"], value["suites"], value["components"], raw["signed-by"], value["trusted"])
      }
      split("", value); split("", raw); inStanza = 0; key = ""
    }
    FNR == 1 { flush(); deb822 = FILENAME ~ /\.sources$/ }
    deb822 && /^#/ { next }
    deb822 && /^[ \t]*$/ { flush(); next }
    deb822 && /^[ \t]/ {  # a continuation line, such as an embedded key
      if (key != "") { raw[key] = raw[key] "\n" $0; value[key] = trim(value[key] " " trim($0)) }
      next
    }
    deb822 {
      colon = index($0, ":")
      if (colon == 0) next
      key = tolower(trim(substr($0, 1, colon - 1)))
      raw[key] = substr($0, colon + 1)
      value[key] = trim(raw[key])
      if (raw[key] !~ /^[ \t]/) raw[key] = " " raw[key]
      inStanza = 1
      next
    }
    # --- one-line entries: deb [ options ] uri suite [component...] ----------
    {
      line = $0
      sub(/#.*/, "", line)
      if (line !~ /^[ \t]*deb[ \t]/) next
      sub(/^[ \t]*deb[ \t]+/, "", line)
      signedBy = ""; trusted = ""
      if (substr(line, 1, 1) == "[") {
        close_at = index(line, "]")
        if (close_at == 0) next
        n = split(substr(line, 2, close_at - 2), option, /[ \t]+/)
        for (i = 1; i <= n; i++) {
          if (option[i] ~ /^signed-by=/) signedBy = " " substr(option[i], 11)
          if (option[i] ~ /^trusted=/) trusted = substr(option[i], 9)
        }
        line = substr(line, close_at + 1)
      }
      n = split(trim(line), word, /[ \t]+/)
      if (n < 2) next
      components = ""
      for (i = 3; i <= n; i++) components = components (components == "" ? "" : " ") word[i]
      emit(word[1], word[2], components, signedBy, trusted)
    }
    END { flush() }
  ' "$@"
}

kestran_deb_src_file=/etc/apt/sources.list.d/kestran-deb-src.sources
kestran_backports_file=/etc/apt/sources.list.d/kestran-backports.sources

# Writes the entries derive_entries KIND gives for the system's own sources (those this
# setup made left out) into FILE, and refreshes the package lists; WHAT names them.
add_derived_entries() {  # KIND FILE WHAT
  local kind=$1 file=$2 what=$3 codename files=() f entries
  codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-}")"
  [ -n "$codename" ] || { echo "cannot tell this system's release: no VERSION_CODENAME in /etc/os-release" >&2; return 1; }
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && [ "$f" != "$kestran_deb_src_file" ] && [ "$f" != "$kestran_backports_file" ] && files+=("$f")
  done
  entries="$(derive_entries "$kind" "$codename" "${files[@]}")"
  if [ -z "$entries" ]; then
    echo "no binary source of $codename is configured for apt, so there are no $what to add beside it" >&2
    return 1
  fi
  step "adding $what for the system's $codename sources ($file)"
  printf '# Made by the kestran setup from the binary sources beside it.\n%s\n' "$entries" |
    $kestran_sudo tee "$file" >/dev/null
  kestran_apt_updated=0
  apt_update
  done_step
}

ensure_deb_src_entries() {
  # Any source package index already configured is enough.
  if apt-get indextargets --no-release-info --format '$(CREATED_BY)' 2>/dev/null | grep -qx Sources; then
    return 0
  fi
  add_derived_entries deb-src "$kestran_deb_src_file" "deb-src entries"
}

# Adds CODENAME-backports from the archive the system's own packages come from. apt
# takes nothing from backports unless asked (apt-get install -t CODENAME-backports):
# the archive marks the suite so.
ensure_backports_entry() {
  local codename
  codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-}")"
  if [ -n "$codename" ] && apt-cache policy 2>/dev/null | grep -q " $codename-backports/"; then return 0; fi
  add_derived_entries backports "$kestran_backports_file" "the backports suite"
}
