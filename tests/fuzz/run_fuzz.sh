#!/usr/bin/env bash
# Builds a libFuzzer target and runs it.
#   tests/fuzz/run_fuzz.sh SECONDS [TARGET]
# TARGET is tga_reader (the default: the TGA reader, seeds in corpus/) or
# session_reader (the session reader, seeds in session_corpus/).
# Build and run happen in build-fuzz/TARGET/ of the repository (git-ignored),
# on a fresh copy of the seeds. Exits non-zero on any finding: crash,
# sanitizer report (address, undefined behaviour, leak), timeout or memory
# limit; the offending input is then in build-fuzz/TARGET/artifacts/.
# CXX chooses the compiler (default clang++, else clang++-14).
set -euo pipefail

if [[ $# -lt 1 || $# -gt 2 || ! $1 =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 SECONDS [tga_reader|session_reader|model_reader]" >&2
  exit 2
fi
seconds=$1
target=${2:-tga_reader}

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
out="$repo/build-fuzz/$target"
case $target in
  tga_reader) sources=("$repo/render/tga_reader.cpp") includes=("$repo/render") seeds=$here/corpus ;;
  session_reader|model_reader)
    # the core, the figures and the run driver; nlohmann's JSON by its own folder alone
    sources=("$repo"/sim/*.cpp "$repo"/figures/*.cpp "$repo"/run/*.cpp)
    mkdir -p "$repo/build-fuzz/json-include"
    ln -sfn /usr/include/nlohmann "$repo/build-fuzz/json-include/nlohmann"
    includes=("$repo/sim" "$repo/figures" "$repo/run" "$repo/build-fuzz/json-include")
    seeds=$here/${target%_reader}_corpus ;;
  *) echo "usage: $0 SECONDS [tga_reader|session_reader|model_reader]" >&2; exit 2 ;;
esac

cxx=${CXX:-}
if [[ -z $cxx ]]; then
  if command -v clang++ >/dev/null; then cxx=clang++; else cxx=clang++-14; fi
fi

mkdir -p "$out"
"$cxx" -std=c++20 -g -O1 -Wall -Wextra \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  "${includes[@]/#/-I}" -pthread \
  "$here/${target}_fuzz.cpp" "${sources[@]}" \
  -o "$out/${target}_fuzz"

rm -rf "$out/corpus" "$out/artifacts"
cp -r "$seeds" "$out/corpus"
mkdir -p "$out/artifacts"

export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:allocator_may_return_null=0:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:${UBSAN_OPTIONS:-}"

status=0
"$out/${target}_fuzz" "$out/corpus" \
  -max_total_time="$seconds" \
  -rss_limit_mb=2048 -malloc_limit_mb=512 -timeout=10 \
  -artifact_prefix="$out/artifacts/" -print_final_stats=1 || status=$?

if [[ $status -ne 0 ]]; then
  echo "run_fuzz.sh: fuzzer exited with status $status" >&2
  exit "$status"
fi
if [[ -n $(ls -A "$out/artifacts") ]]; then
  echo "run_fuzz.sh: findings in $out/artifacts" >&2
  exit 1
fi
echo "run_fuzz.sh: $target: no findings in $seconds s"
