#!/usr/bin/env bash
# Builds the web page with Emscripten and drives it in Chromium: page_test.mjs,
# then lab_test.mjs (knobs, graph, phone layout, download size, keys), then
# grab_test.mjs (taking hold of the figure), then session_test.mjs (sessions
# saved, shared and replayed, against the runner), then long_work_test.mjs (the
# data and a jump to a replay's end computed in a worker beside the running
# figure, and Cancel), then onefile_test.mjs (the
# page as one file, opened from disk, a session link included).
#
# Usage: web_test.sh SOURCE_DIR RUNNER WORK_DIR
#   SOURCE_DIR: the checkout; RUNNER: the native marionette-sim; WORK_DIR: where
#   the page is built and the page's screenshots (web_page.png, grab.png while
#   a hand pulls, session_*.png of a replay, onefile.png of the one-file page)
#   and a saved session are left.
#
# Exits 0 when every check passes, 1 when one fails, and 77 (skipped) when
# Emscripten, Node, Chromium or the npm packages are missing (1 instead when
# MARIONETTE_REQUIRE_BROWSER_TEST is set).
set -u

if [ $# -ne 3 ]; then
  echo "usage: $0 SOURCE_DIR RUNNER WORK_DIR" >&2
  exit 2
fi
source_dir=$1
runner=$2
work=$3
here=$source_dir/tests/web

missing=()
command -v emcmake >/dev/null 2>&1 || missing+=("Emscripten (package emscripten)")
command -v node >/dev/null 2>&1 || missing+=("Node (package nodejs)")
[ -x /usr/bin/chromium ] || missing+=("Chromium at /usr/bin/chromium (package chromium)")
[ -f "$here/node_modules/playwright-core/package.json" ] ||
  missing+=("playwright-core (npm ci --prefix tests/web)")
[ -f "$source_dir/web/node_modules/uplot/dist/uPlot.iife.min.js" ] ||
  missing+=("the page's uPlot (npm ci --prefix web)")
[ -f "$source_dir/web/node_modules/esbuild/package.json" ] ||
  missing+=("the page's esbuild (npm ci --prefix web)")
if [ ${#missing[@]} -gt 0 ]; then
  # CI sets MARIONETTE_REQUIRE_BROWSER_TEST so that a missing tool fails instead.
  if [ -n "${MARIONETTE_REQUIRE_BROWSER_TEST:-}" ]; then
    echo "web_test: FAIL: MARIONETTE_REQUIRE_BROWSER_TEST is set, but missing: ${missing[*]}" >&2
    exit 1
  fi
  printf -v list '%s, ' "${missing[@]}"
  reason="web_test: skipped, missing: ${list%, }; tools/install_dependencies.sh web installs them"
  echo "$reason"
  # for CTest to print after the run (tests/skip_reasons.sh)
  [ -z "${MARIONETTE_SKIP_NOTE:-}" ] || { mkdir -p "${MARIONETTE_SKIP_NOTE%/*}" && echo "$reason" >"$MARIONETTE_SKIP_NOTE"; }
  exit 77
fi

mkdir -p "$work"
"$source_dir/tools/build_web.sh" "$work/page" "$work/cmake" || { echo "web_test: FAIL: the page did not build" >&2; exit 1; }
node "$here/page_test.mjs" "$work/page" "$runner" "$work/web_page.png" || exit 1
node "$here/lab_test.mjs" "$work/page" "$runner" "$work" || exit 1
node "$here/grab_test.mjs" "$work/page" "$work/grab.png" || exit 1
node "$here/session_test.mjs" "$work/page" "$runner" "$work" || exit 1
node "$here/long_work_test.mjs" "$work/page" "$runner" "$work" || exit 1
exec node "$here/onefile_test.mjs" "$work/page" "$runner" "$work/onefile.png"
