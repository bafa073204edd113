#!/usr/bin/env bash
# tools/plot_run.py on a short run of the runner: it draws a PNG, and refuses
# a CSV without the energy columns with a one-line message.
#
# Usage: plot_run_test.sh RUNNER PLOT_TOOL
#
# Exits 0 when both hold, 1 when one does not, and 77 (skipped) when Debian's
# python3-matplotlib is missing (1 instead when MARIONETTE_REQUIRE_PLOT_TEST
# is set).
set -u
if [ $# -ne 2 ]; then
  echo "usage: $0 RUNNER PLOT_TOOL" >&2
  exit 2
fi
runner=$1
plot=$2

if ! /usr/bin/python3 -c 'import matplotlib' 2>/dev/null; then
  reason="plot_run_test: skipped, /usr/bin/python3 has no matplotlib; tools/install_dependencies.sh plot installs it"
  echo "$reason"
  [ -n "${MARIONETTE_REQUIRE_PLOT_TEST:-}" ] && exit 1
  # for CTest to print after the run (tests/skip_reasons.sh)
  [ -z "${MARIONETTE_SKIP_NOTE:-}" ] || { mkdir -p "${MARIONETTE_SKIP_NOTE%/*}" && echo "$reason" >"$MARIONETTE_SKIP_NOTE"; }
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
keys=(--key 100:down --key 300:up)
"$runner" --steps 400 --every 10 --energy "${keys[@]}" > "$work/run.csv" || exit 1
"$plot" "$work/run.csv" "$work/run.png" "${keys[@]}" || exit 1
if [ "$(head -c 8 "$work/run.png" | od -An -tx1 | tr -d ' \n')" != 89504e470d0a1a0a ]; then
  echo "plot_run_test: $work/run.png is not a PNG file"
  exit 1
fi

"$runner" --steps 400 > "$work/plain.csv" || exit 1
if "$plot" "$work/plain.csv" "$work/plain.png" 2> "$work/err.txt"; then
  echo "plot_run_test: a CSV without energy columns was drawn"
  exit 1
fi
if ! grep -q -- "--energy" "$work/err.txt" || [ "$(wc -l < "$work/err.txt")" -ne 1 ]; then
  echo "plot_run_test: the refusal does not say to use --energy in one line:"
  cat "$work/err.txt"
  exit 1
fi
echo "plot_run_test: drew a PNG, refused a CSV without energy columns"
