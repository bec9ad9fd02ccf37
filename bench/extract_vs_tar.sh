#!/usr/bin/env bash
# Times kestran-db extracting the whole of the large installation (60,000 files in
# 12 archives, tests/support/large_installation.h) next to tar -xf of a tar that holds
# the same files with the same sizes, in the same run, on the same disk (below
# build/release/), each into a fresh directory. The target: kestran-db in no more than
# 1.25 times tar's time. kestran-db runs with its default threads and, for comparison,
# with one (-j 1).
#
# No tree is deleted while the clock runs, nor between the runs: ext4 will not reuse
# the inodes of files deleted in the last minutes, and with tens of thousands of them
# every new file costs a long search (the kernel's recently_deleted), which made a run
# right after an "rm -rf" of the last tree twenty times slower than one on a quiet disk.
# Every run writes into a fresh directory instead, the runs take turns (each round
# led by another), and everything goes when all are done.
#
#   bench/extract_vs_tar.sh [RUNS]   RUNS rounds (default 5); each side's best and median
#   KESTRAN_DB_BEFORE=PATH ...        also times another kestran-db build (an older one,
#                                     say) in the same rounds, given --version-code 0
#
# A benchmark, not a test: it prints figures and passes whatever they are.
source "$(dirname "$0")/../scripts/lib/fail-loudly.sh"
cd "$(dirname "$0")/.."
runs=${1:-5}

bash scripts/deps-native.sh
bash scripts/build.sh release kestran-db kestran-make-bench-installation >/dev/null
db=build/release/tools/kestran-db/kestran-db
work=build/release/extract-vs-tar
rm -rf "$work"
mkdir -p "$work"

step "writing the large installation"
build/release/bench/kestran-make-bench-installation many "$work/installation"
done_step
step "making the tar of the same files"
"$db" extract / -o "$work/reference" --root "$work/installation"
(cd "$work/reference" && tar -cf ../same-files.tar .)
files=$(find "$work/reference" -type f | wc -l)
bytes=$(du -sb --apparent-size "$work/reference" | cut -f1)
done_step
echo "    $files files, $bytes bytes (apparent), tar $(du -h "$work/same-files.tar" | cut -f1)" >&2

# milliseconds DIR COMMAND...: runs the command (which writes into DIR, made fresh
# here) and prints its wall time.
milliseconds() {
  local dir=$1 start end
  shift
  mkdir -p "$dir"
  sync
  start=$(date +%s%N)
  "$@" "$dir" >/dev/null
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}
run_tar() { tar -xf "$work/same-files.tar" -C "$1"; }
run_db() { "$db" extract / --root "$work/installation" "${@:1:$#-1}" -o "${@: -1}"; }
before=${KESTRAN_DB_BEFORE:-}
run_before() { "$before" extract / --root "$work/installation" --version-code 0 -o "$1"; }

# Each round starts with another of them, so that none always meets the freshest disk.
declare -a tar_times db_times db1_times before_times
sides=(tar db db1)
[ -z "$before" ] || sides+=(before)
for ((i = 1; i <= runs; i++)); do
  for ((k = 0; k < ${#sides[@]}; k++)); do
    side=${sides[$(((i - 1 + k) % ${#sides[@]}))]}
    case $side in
      tar) tar_times+=("$(milliseconds "$work/tar-$i" run_tar)") ;;
      db) db_times+=("$(milliseconds "$work/db-$i" run_db)") ;;
      db1) db1_times+=("$(milliseconds "$work/db1-$i" run_db -j 1)") ;;
      before) before_times+=("$(milliseconds "$work/before-$i" run_before)") ;;
    esac
  done
  line="    round $i: tar ${tar_times[-1]} ms, kestran-db ${db_times[-1]} ms, kestran-db -j 1 ${db1_times[-1]} ms"
  [ -z "$before" ] || line+=", before ${before_times[-1]} ms"
  echo "$line" >&2
done
diff -r "$work/reference" "$work/db-1" >/dev/null || { echo "the extracted tree differs from the reference" >&2; exit 1; }
diff -r "$work/reference" "$work/db1-1" >/dev/null || { echo "the extracted tree differs from the reference" >&2; exit 1; }
rm -rf "$work"

best() { printf '%s\n' "$@" | sort -n | head -n 1; }
median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
tar_best=$(best "${tar_times[@]}")
db_best=$(best "${db_times[@]}")
db1_best=$(best "${db1_times[@]}")
ratio=$(awk -v a="$db_best" -v b="$tar_best" 'BEGIN { printf "%.2f", a / b }')
ratio1=$(awk -v a="$db1_best" -v b="$tar_best" 'BEGIN { printf "%.2f", a / b }')
verdict=$(awk -v r="$ratio" 'BEGIN { print (r <= 1.25 ? "within" : "ABOVE") }')
echo
echo "extract of $files files ($runs rounds, $(nproc) cores), best (median):"
echo "  tar -xf                   $tar_best ms ($(median "${tar_times[@]}") ms)"
echo "  kestran-db extract        $db_best ms ($(median "${db_times[@]}") ms)  = $ratio x tar, $verdict the target of 1.25"
echo "  kestran-db extract -j 1   $db1_best ms ($(median "${db1_times[@]}") ms)  = $ratio1 x tar"
if [ -n "$before" ]; then
  before_best=$(best "${before_times[@]}")
  echo "  $before   $before_best ms ($(median "${before_times[@]}") ms)  = $(awk -v a="$before_best" -v b="$tar_best" \
    'BEGIN { printf "%.2f", a / b }') x tar"
fi
