#!/usr/bin/env bash
# Builds the headless runner as WebAssembly for Node with Debian's Emscripten.
# usage: tools/build_wasm_runner.sh [BUILD_DIR]    (default build-wasm)
# then:  node BUILD_DIR/app/marionette-sim.js --steps 6667 --every 100 > run.csv
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build-wasm}

for tool in emcmake em++ node; do
  command -v "$tool" >/dev/null 2>&1 || {
    echo "build_wasm_runner: $tool not found (Debian: apt-get install emscripten nodejs)" >&2
    exit 1
  }
done

# Debian's Emscripten loads acorn from Debian's Node modules, where Node 20
# does not look by itself; the default emulator adds a flag Node 20 rejects.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
emcmake cmake --fresh -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CROSSCOMPILING_EMULATOR=node
cmake --build "$build_dir" -j2 --target marionette-sim
echo "built $build_dir/app/marionette-sim.js: run it with node"
