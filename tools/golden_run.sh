#!/usr/bin/env bash
# Runs one build's marionette-sim on the golden schedule and on the golden
# session, and compares each CSV byte for byte with the committed golden run:
# marionette-sim.csv from the arguments in `arguments`, and session.csv from
# session.txt replayed with the arguments in `session-arguments`.
# usage: tools/golden_run.sh [--steps N] NAME COMMAND...
#   --steps N  only the first N steps of the schedule, against the golden rows
#              up to step N (N must be the step of a golden row); the session
#              runs whole
#   NAME       what to call the build in the report
#   COMMAND    the runner, with any emulator before it (e.g. node marionette-sim.js)
# Prints "NAME: passed" and exits 0, or "NAME: FAILED" with the first
# differing row (its step, the differing columns, both lines) and exits 1.
set -uo pipefail
golden_dir="$(cd "$(dirname "$0")/../tests/golden" && pwd)"
golden="$golden_dir/marionette-sim.csv"

usage="usage: tools/golden_run.sh [--steps N] NAME COMMAND..."
steps=
if [ "${1:-}" = --steps ]; then
  steps=${2:-}
  shift 2 || { echo "$usage" >&2; exit 2; }
fi
[ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
name=$1
shift
[ -f "$golden" ] || { echo "$name: FAILED: no golden file at $golden"; exit 1; }
mapfile -t arguments < "$golden_dir/arguments"

output=$(mktemp)
errors=$(mktemp)
expected=$(mktemp)
trap 'rm -f "$output" "$errors" "$expected"' EXIT
if [ -n "$steps" ]; then
  # The runner's final row at step N is then the golden row of step N.
  awk -F, -v n="$steps" 'NR == 1 || $1 <= n + 0 { print } $1 == n "" { found = 1 } END { exit !found }' "$golden" > "$expected" ||
    { echo "golden_run: --steps $steps is not the step of a golden row" >&2; exit 2; }
  for k in "${!arguments[@]}"; do
    [ "${arguments[$k]}" = --steps ] && arguments[$((k + 1))]=$steps
  done
  golden=$expected
fi
# compare GOLDEN_CSV ARGUMENTS...: runs the build with the arguments and
# holds its output to the golden CSV; 0 when they are the same bytes.
compare() {
  local golden=$1
  shift
  "${runner[@]}" "$@" > "$output" 2> "$errors"
  local status=$?
  if [ $status -ne 0 ]; then
    echo "$name: FAILED: the runner exited with status $status: $(head -c 500 "$errors")"
    return 1
  fi
  cmp -s "$golden" "$output" && return 0

  # The first line that differs, with the names of the columns that differ.
  awk -F, -v name="$name" '
    NR == FNR { golden[FNR] = $0; count = FNR; next }
    { seen = FNR }
    FNR == 1 { split($0, column, ",") }
    FNR > count { printf "%s: FAILED: more lines than the golden run'"'"'s %d; line %d: %s\n", name, count, FNR, $0; found = 1; exit }
    golden[FNR] != $0 {
      split(golden[FNR], want, ","); n = split($0, got, ",")
      if (length(want) > n) n = length(want)
      differing = ""
      for (k = 1; k <= n; ++k)
        if (want[k] != got[k]) differing = differing " " (k in column ? column[k] : "column " k)
      printf "%s: FAILED: first difference at step %s (line %d), columns:%s\n", name, want[1], FNR, differing
      printf "  golden:     %s\n  this build: %s\n", golden[FNR], $0
      found = 1; exit
    }
    END {
      if (found) exit
      if (seen < count) printf "%s: FAILED: the run stops after line %d; the golden run goes on: %s\n", name, seen, golden[seen + 1]
      else printf "%s: FAILED: the same lines, but not the same bytes (line ends?)\n", name
    }
  ' "$golden" "$output"
  return 1
}

runner=("$@")
compare "$golden" "${arguments[@]}" || exit 1
mapfile -t session_arguments < "$golden_dir/session-arguments"
compare "$golden_dir/session.csv" "${session_arguments[@]}" --session "$golden_dir/session.txt" ||
  { echo "  (the golden session, tests/golden/session.txt)"; exit 1; }
echo "$name: passed"
exit 0
