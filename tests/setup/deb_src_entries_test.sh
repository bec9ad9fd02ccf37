#!/usr/bin/env bash
# The deb-src and backports entries the setup derives from the system's binary sources:
# one-line and deb822 files, options, embedded keys, disabled and third-party sources.
source "$(dirname "$0")/../../scripts/lib/fail-loudly.sh"
source "$(dirname "$0")/../../scripts/lib/packages.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/sources.list" <<'LIST'
# a comment
deb http://archive.example.org/debian bookworm main contrib # trailing comment
deb [arch=amd64 signed-by=/usr/share/keyrings/x.gpg] http://security.example.org/debian-security bookworm-security main
deb-src http://archive.example.org/debian bookworm main
deb https://third-party.example.com/apt stable main
LIST
cat >"$work/local.sources" <<'SOURCES'
Types: deb
URIs: http://mirror.example.net/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 abc
 -----END PGP PUBLIC KEY BLOCK-----

Types: deb
Enabled: no
URIs: http://disabled.example.net/debian
Suites: bookworm
Components: main

Types: deb
URIs: http://other.example.net/x
Suites: nodistro bookworm-backports
Components: main
SOURCES

expected="Types: deb-src
URIs: http://archive.example.org/debian
Suites: bookworm
Components: main contrib

Types: deb-src
URIs: http://security.example.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/x.gpg

Types: deb-src
URIs: http://mirror.example.net/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: 
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 abc
 -----END PGP PUBLIC KEY BLOCK-----

Types: deb-src
URIs: http://other.example.net/x
Suites: bookworm-backports
Components: main
"
actual="$(derive_deb_src_entries bookworm "$work/sources.list" "$work/local.sources")"
if [ "$actual" != "${expected%$'\n'}" ]; then
  diff <(echo "$expected") <(echo "$actual") || true
  echo "FAILED: derived deb-src entries differ (see the diff above)"; exit 1
fi
[ -z "$(derive_deb_src_entries trixie "$work/sources.list")" ] || { echo "FAILED: another release's sources taken"; exit 1; }

# The backports suite goes beside each source of the release's own suite, and nowhere else.
expected="Types: deb
URIs: http://archive.example.org/debian
Suites: bookworm-backports
Components: main contrib

Types: deb
URIs: http://mirror.example.net/debian
Suites: bookworm-backports
Components: main
Signed-By: 
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 abc
 -----END PGP PUBLIC KEY BLOCK-----
"
actual="$(derive_backports_entries bookworm "$work/sources.list" "$work/local.sources")"
if [ "$actual" != "${expected%$'\n'}" ]; then
  diff <(echo "$expected") <(echo "$actual") || true
  echo "FAILED: derived backports entries differ (see the diff above)"; exit 1
fi
echo "PASSED: deb-src and backports entries"
