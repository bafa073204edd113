#!/usr/bin/env bash
# The Python module's tests (pytest, with Debian's python3), as CTest runs them.
#
# Usage: run_pytest.sh PACKAGE_DIR RUNNER [REASON]
#   PACKAGE_DIR  the build's python folder (holding the package marionette), or
#                empty when the module was not built, REASON then saying why
#   RUNNER       marionette-sim, which the tests hold the module's numbers to
#
# Exits with pytest's status, or 77 (skipped, the reason in MARIONETTE_SKIP_NOTE)
# where the module, pytest or Dask's distributed is missing; 1 instead when
# MARIONETTE_REQUIRE_PYTHON_TEST is set (as in CI).
set -u
packages=$1
runner=$2
reason=${3:-}
python=/usr/bin/python3

if [ -z "$reason" ] && ! "$python" -c 'import pytest, distributed, matplotlib' 2>/dev/null; then
  reason="/usr/bin/python3 lacks pytest, Dask's distributed or matplotlib"
fi
if [ -n "$reason" ]; then
  reason="python_test: skipped, $reason; tools/install_dependencies.sh python installs what it needs"
  echo "$reason"
  [ -n "${MARIONETTE_REQUIRE_PYTHON_TEST:-}" ] && exit 1
  # for CTest to print after the run (tests/skip_reasons.sh)
  [ -z "${MARIONETTE_SKIP_NOTE:-}" ] || { mkdir -p "${MARIONETTE_SKIP_NOTE%/*}" && echo "$reason" >"$MARIONETTE_SKIP_NOTE"; }
  exit 77
fi

cd "$(dirname "$0")" || exit 1
# no __pycache__ left in the source tree
export PYTHONPATH="$packages${PYTHONPATH:+:$PYTHONPATH}" MARIONETTE_SIM="$runner" PYTHONDONTWRITEBYTECODE=1
exec "$python" -m pytest -q -p no:cacheprovider -W ignore::DeprecationWarning .
