#!/usr/bin/env bash
# Builds marionette-sim in every way the project promises the same bytes from
# and compares each build's run with the golden run, tests/golden/.
# usage: tools/check_golden.sh            check every build
#        tools/check_golden.sh --record   rewrite the golden run and session from the gcc Release build
# Each build has its own folder under build-golden/ (build log: build.log).
# Last, the x86-64 runners are searched for fused multiply-adds (check_no_fma.sh).
# A build whose toolchain is missing is skipped, with the package to install;
# with MARIONETTE_REQUIRE_ALL_BUILDS set, a skipped build fails the check.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
record=0
case "${1:-}" in
  "") ;;
  --record) record=1 ;;
  *) echo "usage: tools/check_golden.sh [--record]" >&2; exit 2 ;;
esac

passed=0 failed=0 skipped=0
report() {  # NAME skipped|FAILED WHY
  echo "$1: $2 ($3)"
  if [ "$2" = skipped ]; then skipped=$((skipped + 1)); else failed=$((failed + 1)); fi
}

# missing TOOL PACKAGE...: the first tool not on PATH, with its Debian package.
missing() {
  while [ $# -gt 0 ]; do
    command -v "$1" >/dev/null 2>&1 || { echo "no $1; Debian package $2"; return 0; }
    shift 2
  done
  return 1
}

# build NAME CMAKE_ARGS...: the runner alone, in build-golden/NAME.
build() {
  local name=$1 dir=build-golden/$1
  shift
  mkdir -p "$dir"
  if ! { cmake --fresh -S . -B "$dir" -DMARIONETTE_CORE_ONLY=ON "$@" && cmake --build "$dir" -j2 --target marionette-sim; } > "$dir/build.log" 2>&1; then
    report "$name" FAILED "the build failed; see $dir/build.log"
    return 1
  fi
}

# check NAME COMMAND...: runs the build's runner on the golden schedule.
check() {
  if tools/golden_run.sh "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}

runner() { echo "build-golden/$1/app/marionette-sim"; }

# runs_here BINARY: whether this machine runs the binary itself (CPU features,
# 32-bit support in the kernel).
runs_here() { "$1" --steps 0 > /dev/null 2>&1; }

gcc=(-DCMAKE_CXX_COMPILER=g++)
release=(-DCMAKE_BUILD_TYPE=Release)

if [ $record -eq 1 ]; then
  why=$(missing g++ g++) && { echo "check_golden: cannot record: $why" >&2; exit 1; }
  build gcc-release "${gcc[@]}" "${release[@]}" || exit 1
  mapfile -t arguments < tests/golden/arguments
  "$(runner gcc-release)" "${arguments[@]}" > build-golden/recorded.csv || exit 1
  mapfile -t session_arguments < tests/golden/session-arguments
  "$(runner gcc-release)" "${session_arguments[@]}" --session tests/golden/session.txt > build-golden/recorded-session.csv || exit 1
  mv build-golden/recorded.csv tests/golden/marionette-sim.csv
  mv build-golden/recorded-session.csv tests/golden/session.csv
  echo "check_golden: recorded tests/golden/marionette-sim.csv ($(wc -l < tests/golden/marionette-sim.csv) lines) and tests/golden/session.csv ($(wc -l < tests/golden/session.csv) lines) from the gcc Release build"
  exit 0
fi

start=$SECONDS

# gcc Release, and the same binary with glibc told the CPU has no AVX2 and
# no FMA (glibc picks some of its own routines by CPU).
if why=$(missing g++ g++); then
  report gcc-release skipped "$why"
  report gcc-release-without-fma skipped "$why"
elif build gcc-release "${gcc[@]}" "${release[@]}"; then
  check gcc-release "$(runner gcc-release)"
  check gcc-release-without-fma env GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-FMA "$(runner gcc-release)"
else
  report gcc-release-without-fma FAILED "no gcc Release build"
fi

# gcc Debug.
if why=$(missing g++ g++); then
  report gcc-debug skipped "$why"
elif build gcc-debug "${gcc[@]}" -DCMAKE_BUILD_TYPE=Debug; then
  check gcc-debug "$(runner gcc-debug)"
fi

# clang Release.
if why=$(missing clang++ clang); then
  report clang-release skipped "$why"
elif build clang-release -DCMAKE_CXX_COMPILER=clang++ "${release[@]}"; then
  check clang-release "$(runner clang-release)"
fi

# gcc Release for x86-64-v3 (AVX2, FMA), and for this machine's CPU; on a
# CPU without them the v3 binary runs under QEMU's emulation of a newer one.
if why=$(missing g++ g++); then
  report gcc-release-x86-64-v3 skipped "$why"
elif build gcc-release-x86-64-v3 "${gcc[@]}" "${release[@]}" -DCMAKE_CXX_FLAGS=-march=x86-64-v3; then
  if runs_here "$(runner gcc-release-x86-64-v3)"; then
    check gcc-release-x86-64-v3 "$(runner gcc-release-x86-64-v3)"
  elif why=$(missing qemu-x86_64 qemu-user); then
    report gcc-release-x86-64-v3 skipped "this CPU lacks x86-64-v3 and there is $why"
  else
    check gcc-release-x86-64-v3 qemu-x86_64 -cpu max "$(runner gcc-release-x86-64-v3)"
  fi
fi
if [ "$(uname -m)" = x86_64 ] && command -v g++ >/dev/null 2>&1 &&
  build gcc-release-native "${gcc[@]}" "${release[@]}" -DCMAKE_CXX_FLAGS=-march=native; then
  check gcc-release-native "$(runner gcc-release-native)"
fi

# aarch64, static, under QEMU.
cross=(-DCMAKE_SYSTEM_NAME=Linux -DCMAKE_EXE_LINKER_FLAGS=-static "${release[@]}")
if why=$(missing aarch64-linux-gnu-g++ g++-aarch64-linux-gnu qemu-aarch64 qemu-user); then
  report aarch64 skipped "$why"
elif build aarch64 "${cross[@]}" -DCMAKE_SYSTEM_PROCESSOR=aarch64 -DCMAKE_CXX_COMPILER=aarch64-linux-gnu-g++; then
  check aarch64 qemu-aarch64 "$(runner aarch64)"
fi

# 32-bit x86 with SSE2 arithmetic, static: directly where the kernel runs
# 32-bit programs, else under QEMU.
if why=$(missing i686-linux-gnu-g++ g++-i686-linux-gnu); then
  report i686-sse2 skipped "$why"
elif build i686-sse2 "${cross[@]}" -DCMAKE_SYSTEM_PROCESSOR=i686 -DCMAKE_CXX_COMPILER=i686-linux-gnu-g++ \
  "-DCMAKE_CXX_FLAGS=-msse2 -mfpmath=sse"; then
  if runs_here "$(runner i686-sse2)"; then
    check i686-sse2 "$(runner i686-sse2)"
  elif why=$(missing qemu-i386 qemu-user); then
    report i686-sse2 skipped "this kernel does not run 32-bit programs and there is $why"
  else
    check i686-sse2 qemu-i386 "$(runner i686-sse2)"
  fi
fi

# WebAssembly under Node, built as the README says.
if why=$(missing emcmake emscripten node nodejs); then
  report wasm skipped "$why"
elif mkdir -p build-golden/wasm && tools/build_wasm_runner.sh build-golden/wasm > build-golden/wasm/build.log 2>&1; then
  check wasm node build-golden/wasm/app/marionette-sim.js
else
  report wasm FAILED "the build failed; see build-golden/wasm/build.log"
fi

# No fused multiply-add in the x86-64 runners: the default, x86-64-v3,
# native and clang builds (those that built).
if [ "$(uname -m)" = x86_64 ]; then
  fma_checked=()
  for name in gcc-release gcc-release-x86-64-v3 gcc-release-native clang-release; do
    [ -x "$(runner "$name")" ] && fma_checked+=("$(runner "$name")")
  done
  if [ ${#fma_checked[@]} -gt 0 ]; then
    if tools/check_no_fma.sh "${fma_checked[@]}" | sed 's/^/no-fma: /'; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
  fi
fi

echo "check_golden: builds and runs took $((SECONDS - start)) s; the builds are in $root/build-golden"
echo "check_golden: $passed passed, $failed failed, $skipped skipped"
if [ $skipped -gt 0 ] && [ -n "${MARIONETTE_REQUIRE_ALL_BUILDS:-}" ]; then
  echo "check_golden: MARIONETTE_REQUIRE_ALL_BUILDS is set, so no build may be skipped"
  exit 1
fi
[ $failed -eq 0 ]
