#!/usr/bin/env bash
# kestran-db mount beside its references, in one run. Figures, not a test: each line
# sets the mount's median of five runs beside its reference and the goal.
#
#   find MOUNT | wc -l over the 60,000-file installation   find over the same tree extracted
#                                                          to disk (goal: 3x or less)
#   a 64 MiB packed member read through the mount          kestran-db extract -O of it
#                                                          (goal: 70% of its speed or more)
#   a 64 MiB stored member read through the mount          cat of a plain file of that size
#                                                          (goal: 50% of its speed or more)
#
# Every read through the mount and every first find is on a fresh mount, so nothing is
# in the mount's cache or the kernel's cache of it; "find again" repeats find on the
# same mount. The references read files that were just written, from the page cache,
# as the mount reads its archives. Needs /dev/fuse and the right to mount.
#
#   bash bench/mount_bench.sh [RUNS]
source "$(dirname "$0")/../scripts/lib/fail-loudly.sh"
cd "$(dirname "$0")/.."
runs=${1:-5}

bash scripts/deps-native.sh
step "building the release kestran-db and the installation writer"
bash scripts/build.sh release kestran-db kestran-make-bench-installation >/dev/null
done_step
db=$PWD/build/release/tools/kestran-db/kestran-db
make_installation=$PWD/build/release/bench/kestran-make-bench-installation

work=$(mktemp -d "${TMPDIR:-/tmp}/kestran-mount-bench-XXXXXX")
mnt=$work/mnt
mkdir -p "$mnt"
cleanup() {
  if mountpoint -q "$mnt"; then fusermount3 -u "$mnt" || fusermount3 -u -z "$mnt" || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# mount_installation ROOT: mounts ROOT (archives in the root: VersionCode 0) at $mnt;
# the command returns once the mount is ready.
mount_installation() { "$db" mount "$mnt" --root "$1" --version-code 0; }
unmount_installation() {
  fusermount3 -u "$mnt"
  local tries=0
  while mountpoint -q "$mnt" && [ $tries -lt 100 ]; do sleep 0.05; tries=$((tries + 1)); done
}

now_ns() { date +%s%N; }
# milliseconds COMMAND...: runs it, its output to /dev/null; prints the milliseconds taken.
milliseconds() {
  local start end
  start=$(now_ns)
  "$@" >/dev/null
  end=$(now_ns)
  echo $(((end - start) / 1000000))
}
median() { sort -n | sed -n "$((($runs + 1) / 2))p"; }
count_entries() { find "$1" | wc -l; }
# percent REFERENCE MOUNT: the mount's speed as a share of the reference's (times in ms).
percent() { awk -v r="$1" -v m="$2" 'BEGIN { printf "%.0f", (m > 0 ? 100 * r / m : 0) }'; }
ratio() { awk -v r="$1" -v m="$2" 'BEGIN { printf "%.1f", (r > 0 ? m / r : 0) }'; }

step "writing the installations"
"$make_installation" many "$work/many"
"$make_installation" packed "$work/packed"
"$make_installation" stored "$work/stored"
"$make_installation" plain "$work"
"$db" extract / -o "$work/plain-tree" --root "$work/many" --version-code 0
done_step

step "find: $runs fresh mounts, and the extracted tree"
mount_installation "$work/many"
entries=$(count_entries "$mnt")
plain_entries=$(count_entries "$work/plain-tree")
unmount_installation
first=() again=() plain=()
for ((i = 0; i < runs; i++)); do
  mount_installation "$work/many"
  first+=("$(milliseconds count_entries "$mnt")")
  again+=("$(milliseconds count_entries "$mnt")")
  unmount_installation
  plain+=("$(milliseconds count_entries "$work/plain-tree")")
done
find_first=$(printf '%s\n' "${first[@]}" | median)
find_again=$(printf '%s\n' "${again[@]}" | median)
find_plain=$(printf '%s\n' "${plain[@]}" | median)
done_step

# The reference for the packed member: extract -O to standard output; a build without
# it (before the tool's conventions landed) copies the file out with -o instead, which
# also writes it to disk.
if "$db" extract --help | grep -q -- '--stdout'; then
  packed_reference="kestran-db extract -O"
  extract_packed() { "$db" extract -O textures/large.dds --root "$work/packed" --version-code 0; }
else
  packed_reference="kestran-db extract -o DIR (no extract -O in this build; this also writes the file to disk)"
  extract_packed() { "$db" extract textures/large.dds -o "$work/extracted" --root "$work/packed" --version-code 0; }
fi

step "reading the members: $runs fresh mounts each"
through_packed=() reference_packed=() through_stored=() reference_stored=()
# Each read starts once the disk has taken what the last one wrote (extract writes a
# 64 MiB file), so that no write-back runs beside it.
for ((i = 0; i < runs; i++)); do
  sync
  mount_installation "$work/packed"
  through_packed+=("$(milliseconds cat "$mnt/textures/large.dds")")
  unmount_installation
  reference_packed+=("$(milliseconds extract_packed)")
  sync
  mount_installation "$work/stored"
  through_stored+=("$(milliseconds cat "$mnt/textures/stored.dds")")
  unmount_installation
  reference_stored+=("$(milliseconds cat "$work/plain.bin")")
done
packed_mount=$(printf '%s\n' "${through_packed[@]}" | median)
packed_ref=$(printf '%s\n' "${reference_packed[@]}" | median)
stored_mount=$(printf '%s\n' "${through_stored[@]}" | median)
stored_ref=$(printf '%s\n' "${reference_stored[@]}" | median)
done_step

echo
echo "kestran-db mount, medians of $runs runs (load average: $(cut -d' ' -f1-3 /proc/loadavg))"
echo "find | wc -l: $entries entries through the mount, $plain_entries in the extracted tree"
echo "  first find after mounting: $find_first ms, the plain tree's $find_plain ms: $(ratio "$find_plain" "$find_first")x (goal 3x or less)"
echo "  find again on that mount:  $find_again ms: $(ratio "$find_plain" "$find_again")x (goal 3x or less)"
echo "64 MiB packed member: $packed_mount ms through the mount, $packed_ref ms by $packed_reference:"
echo "  $(percent "$packed_ref" "$packed_mount")% of the reference's speed (goal 70% or more)"
echo "64 MiB stored member: $stored_mount ms through the mount, $stored_ref ms by cat of a plain file:"
echo "  $(percent "$stored_ref" "$stored_mount")% of the reference's speed (goal 50% or more)"
