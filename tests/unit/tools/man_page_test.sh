#!/usr/bin/env bash
# The manual page renders with man -l without a single warning from groff, and it
# describes every command and every option that the tool's own --help lists.
#   man_page_test.sh MAN_PAGE KESTRAN_DB
source "$(dirname "$0")/../../../scripts/lib/fail-loudly.sh"
page=$1 tool=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=all,mac -E UTF-8 -l "$page" >"$work/rendered" 2>"$work/warnings"
if [ -s "$work/warnings" ]; then
  echo "FAILED: man -l $page warns:"; cat "$work/warnings"; exit 1
fi
grep -q 'kestran-db' "$work/rendered" || { echo "FAILED: the page rendered empty"; exit 1; }

missing=0
commands=$("$tool" --help | sed -n 's/^  \([a-z]\+\) .*/\1/p')
[ -n "$commands" ] || { echo "FAILED: kestran-db --help lists no commands"; exit 1; }
for command in $commands; do
  grep -qE "^       $command( |$)" "$work/rendered" || { echo "FAILED: the page has no entry for $command"; missing=1; }
  for option in $("$tool" "$command" --help | grep -E '^  -' | grep -oE -- '--[a-z][a-z-]*'); do
    grep -qF -- "$option" "$work/rendered" || { echo "FAILED: the page does not describe $command $option"; missing=1; }
  done
done
[ "$missing" -eq 0 ] || exit 1
echo "the manual page renders cleanly and covers: $(echo $commands)"
