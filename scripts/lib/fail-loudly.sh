# Sourced first by every setup and test script: stop at the first failing command and
# say which one it was, never just a bare exit status.
#
#   FAILED: scripts/deps-windows.sh:123: apt-get source -qq boost1.81 (exit status 100)
#     during: fetching the Debian source of boost1.81
#     called from: fetch_source (scripts/deps-windows.sh:150)
#
# Commands whose output is normally hidden go through run_quietly, which shows their
# last output lines when they fail. step names what a script is doing, so a failure
# can say during which step it came.
set -Eeuo pipefail

kestran_step=""
kestran_step_start=$SECONDS

# step TEXT: announces a step ("==> TEXT" on standard error) and remembers it.
step() {
  kestran_step="$*"
  kestran_step_start=$SECONDS
  echo "==> $*" >&2
}
# done_step: the time the current step took.
done_step() { echo "    done in $((SECONDS - kestran_step_start)) s" >&2; }

# run_quietly COMMAND...: runs a command with its output held back; when it fails, its
# last 40 lines are shown and its exit status is returned.
run_quietly() {
  local log status=0
  log="$(mktemp)"
  "$@" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    echo "---- last output of: $* ----" >&2
    tail -n 40 "$log" >&2
    echo "----" >&2
  fi
  rm -f "$log"
  return "$status"
}

kestran_report_failure() {
  local status=$1 line=$2 command=$3 file=${BASH_SOURCE[1]:-$0} text
  # The line as written says more than the last simple command ("return 1", say).
  text="$(sed -n "${line}{s/^[[:space:]]*//;p;}" "$file" 2>/dev/null || true)"
  [ -n "$text" ] || text=$command
  echo >&2
  echo "FAILED: $file:$line: $text (exit status $status)" >&2
  [ -z "$kestran_step" ] || echo "  during: $kestran_step" >&2
  local i
  for ((i = 1; i < ${#FUNCNAME[@]} - 1; i++)); do
    echo "  called from: ${FUNCNAME[$i]} (${BASH_SOURCE[$((i + 1))]}:${BASH_LINENO[$i]})" >&2
  done
}
trap 'kestran_report_failure $? $LINENO "$BASH_COMMAND"' ERR
