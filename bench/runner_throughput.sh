#!/usr/bin/env bash
# Whole-process throughput of the headless runner: 10^7 steps, final row only.
# usage: bench/runner_throughput.sh [PATH/TO/marionette-sim]
set -euo pipefail
sim=${1:-build/app/marionette-sim}
steps=10000000
[ -x "$sim" ] || { echo "runner_throughput: no runner at $sim (build first)" >&2; exit 2; }
start=$(date +%s.%N)
"$sim" --steps "$steps" --every 0 > /dev/null
end=$(date +%s.%N)
awk -v s="$start" -v e="$end" -v n="$steps" \
  'BEGIN { t = e - s; printf "%d steps in %.2f s: %.0f steps/s, %.1f ns/step\n", n, t, n / t, 1e9 * t / n }'
