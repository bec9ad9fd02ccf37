# Sourced by the test scripts: one line that sums up a ctest run from its log.
#
#   ctest_summary PRESET LOG   "N% tests passed, F tests failed out of T", then the
#                              cases that were skipped, each with the reason it gave
ctest_counts_of() { sed -n 's/^\(.*tests passed, [0-9]* tests\{0,1\} failed out of [0-9]*\)$/\1/p' "$1" | tail -n 1; }
# The cases ctest reports as not run, each with the reason it gave for skipping (asked
# of the case again, alone: ctest keeps the output of cases that pass or skip to itself).
skipped_of() {  # PRESET LOG
  local name reason list=()
  while read -r name; do
    reason="$(ctest --preset "$1" -R "^${name//./\\.}\$" -V 2>&1 | grep -A1 ': Skipped$' | tail -n 1 |
      sed 's/^[0-9]*: //')"
    list+=("$name${reason:+: $reason}")
  done < <(sed -n '/^The following tests did not run:/,/^$/s/^[[:space:]]*[0-9]* - \(.*\) (Skipped)$/\1/p' "$2")
  [ ${#list[@]} -eq 0 ] || { local IFS=';'; echo "${list[*]}" | sed 's/;/; /g'; }
}
ctest_summary() {  # PRESET LOG
  local skipped
  skipped="$(skipped_of "$1" "$2")"
  echo "$(ctest_counts_of "$2")${skipped:+ (skipped: $skipped)}"
}
