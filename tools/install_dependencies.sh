#!/usr/bin/env bash
# Installs the Debian packages marionette needs, if any are missing.
# usage: tools/install_dependencies.sh [build|test|web|golden|ci]
#   build:  compiler, CMake, OpenGL/GLU/GLUT, GoogleTest, Google Benchmark, GNU MPFR
#   test:   build + the X tools the real-window test drives (Xvfb, xdotool, ...)
#           and matplotlib for tools/plot_run.py
#   web:    test + Emscripten for the web page, Node, npm and Chromium for its browser test,
#           and the page's own npm packages (npm ci --prefix web: its charting library, and
#           esbuild, which bundles the page's modules into the one-file page)
#   golden: the compilers, emulators and Node that tools/check_golden.sh builds and runs with
#   ci:     web + golden + clang's libFuzzer runtime + MuJoCo, the benchmark's peer
set -euo pipefail

build=(g++ make cmake pkg-config libgtest-dev libbenchmark-dev freeglut3-dev libglu1-mesa-dev libgl-dev libmpfr-dev)
test=(xvfb xdotool x11-utils imagemagick python3-matplotlib)
web=(emscripten nodejs chromium)
# A Node from outside Debian (NodeSource's, for one) carries its own npm, which Debian's would conflict with.
command -v npm >/dev/null 2>&1 || web+=(npm)
golden=(g++ make cmake clang g++-aarch64-linux-gnu g++-i686-linux-gnu qemu-user emscripten nodejs)
ci=(clang libclang-rt-14-dev)
# MuJoCo, which the benchmark times beside marionette and mujoco_peer_test holds to marionette's dynamics.
ci+=(libmujoco-dev)

case "${1:-build}" in
  build) wanted=("${build[@]}") ;;
  test) wanted=("${build[@]}" "${test[@]}") ;;
  web) wanted=("${build[@]}" "${test[@]}" "${web[@]}") ;;
  golden) wanted=("${golden[@]}") ;;
  ci) wanted=("${build[@]}" "${test[@]}" "${web[@]}" "${golden[@]}" "${ci[@]}") ;;
  *) echo "usage: tools/install_dependencies.sh [build|test|web|golden|ci]" >&2; exit 2 ;;
esac

# The web page's npm packages, as its lock file pins them.
install_page_packages() {
  case "${1:-build}" in
    web|ci) ;;
    *) return 0 ;;
  esac
  local root
  root=$(cd "$(dirname "$0")/.." && pwd)
  if [ ! -f "$root/web/node_modules/uplot/dist/uPlot.iife.min.js" ] || [ ! -f "$root/web/node_modules/esbuild/package.json" ]; then
    echo "installing the web page's npm packages: npm ci --prefix web" >&2
    npm ci --prefix "$root/web" --no-audit --no-fund >&2
  fi
}

missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
  install_page_packages "${1:-build}"
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "marionette needs these Debian packages: ${missing[*]}" >&2
  echo "install them as root: apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "installing: ${missing[*]}" >&2
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
install_page_packages "${1:-build}"
