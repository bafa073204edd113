#!/usr/bin/env bash
# Fails if an x86-64 binary holds a fused multiply-add instruction
# (vfmadd..., vfmsub..., vfnmadd..., vfnmsub..., and the FMA4 forms).
# The simulation's numbers are defined with every multiply and add rounded
# on its own; a compiler that fuses them gives other bytes on CPUs with FMA.
# tools/check_golden.sh runs it on the runners it builds for x86-64.
# usage: tools/check_no_fma.sh BINARY...
# The runners link the C and C++ libraries dynamically, so all of a
# binary's code is marionette's: the whole binary is searched.
set -uo pipefail
[ $# -ge 1 ] || { echo "usage: tools/check_no_fma.sh BINARY..." >&2; exit 2; }
command -v objdump >/dev/null 2>&1 || { echo "check_no_fma: objdump not found (Debian: binutils)" >&2; exit 2; }

status=0
for binary in "$@"; do
  if ! listing=$(objdump -d --no-show-raw-insn "$binary" 2>&1); then
    echo "$binary: FAILED: objdump cannot read it: $(echo "$listing" | head -1)"
    status=1
    continue
  fi
  # each fused instruction, with the function it is in
  found=$(awk '/^[0-9a-f]+ <.*>:$/ { function_name = $2 }
               /:\tvfn?m(add|sub)/ { print "  " function_name " " $0 }' <<< "$listing")
  if [ -n "$found" ]; then
    echo "$binary: FAILED: $(wc -l <<< "$found") fused multiply-add instructions, the first:"
    head -5 <<< "$found"
    status=1
  else
    echo "$binary: no fused multiply-add"
  fi
done
exit $status
