#!/bin/sh
# Prints why tests were skipped in the CTest run that just ended: CTest itself
# says only "Skipped" (the reason is in the test's output, which
# --output-on-failure leaves out). CTest runs this after the tests, through
# CTestCustom.cmake in the build directory; a skipping test leaves its one-line
# reason in NOTES_DIR, which CTest empties before the tests.
# usage: tests/skip_reasons.sh NOTES_DIR
notes=$1
for note in "$notes"/*; do
  [ -f "$note" ] || continue
  [ -n "${header:-}" ] || { echo "Why they were skipped:"; header=1; }
  sed 's/^/	  /' "$note"
done
exit 0
