#!/usr/bin/env bash
# The bash completion of kestran-db, driven as bash drives it (COMP_WORDS, COMP_CWORD,
# then the function complete registered), on the demo installation.
#   completion_test.sh COMPLETION_FILE KESTRAN_DB KESTRAN_MAKE_DEMO
source "$(dirname "$0")/../../../scripts/lib/fail-loudly.sh"
completion=$1 tool=$2 make_demo=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$make_demo" "$work/demo"
printf '[main]\nuse_registry = false\n[Installations]\nDemo = 3967|%s\nOther=3312|/nowhere\n' "$work/demo" >"$work/kestran.ini"
mkdir -p "$work/out/sub"
source "$completion"
function_name=$(complete -p kestran-db | sed -n 's/.*-F \([^ ]*\) .*/\1/p')

failures=0
# expect "WANTED REPLIES" WORD...: completes the last word and compares the sorted replies.
expect() {
  local wanted=$1 got
  shift
  COMP_WORDS=("$tool" "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  "$function_name" kestran-db "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//')
  if [ "$got" != "$wanted" ]; then
    echo "FAILED: kestran-db $*<TAB> gave '$got', wanted '$wanted'"
    failures=$((failures + 1))
  fi
}

expect "archives" ar
expect "conflicts" co
expect "--help --version archives conflicts extract ls mount records which" ""
expect "--verbose --version --version-code" ls --ver
expect "--stdout" extract --std
expect "--archive" conflicts --arc
expect "3312 3312en 3312ru 3312us 3312ww" ls --build 331
expect "0 1 2 3" ls --version-code ""
expect "CP1250 CP1251 CP1252 CP1253 CP1254 CP1255 CP1256 CP1257 CP1258" ls --name-encoding CP12
expect "--foreground" mount --fore
expect "$work/out/sub" mount --root "$work/demo" "$work/out/s"
expect "$work/out/sub" extract -o "$work/out/s"
expect "Demo Other" ls --config "$work/kestran.ini" --installation ""
expect "patch.db2" conflicts --root "$work/demo" --archive pa
# Virtual paths of the installation named so far, directories up to their slash.
expect "textures/" ls --root "$work/demo" tex
expect "textures/floor.dds textures/wall.dds" which --root "$work/demo" textures/
expect "textures/wall.dds" extract --root "$work/demo" --build 3967 textures/w
expect "levels/l01/ levels/l02/" ls --config "$work/kestran.ini" --installation Demo levels/
expect "" ls tex  # no installation yet: nothing to list

[ "$failures" -eq 0 ] || exit 1
echo "every completion as expected"
