#!/usr/bin/env bash
# Builds the web page with Debian's Emscripten: index.html, page.css, the
# page's scripts, marionette.js and marionette.wasm (which draws the pictures
# itself), and the charting library uPlot in OUTPUT_DIR; and all of it packed
# into one file, OUTPUT_DIR/marionette.html, which works opened from disk.
# usage: tools/build_web.sh [OUTPUT_DIR [CMAKE_DIR]]
#   OUTPUT_DIR defaults to build-web/ of the checkout, CMAKE_DIR to build-web-cmake/.
# Serve the page with: python3 -m http.server --directory build-web 8000
# or open build-web/marionette.html.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
output=$(realpath -m "${1:-$root/build-web}")
tree=$(realpath -m "${2:-$root/build-web-cmake}")

if ! command -v emcmake >/dev/null 2>&1; then
  echo "build_web: emcmake not found; install Debian's emscripten (tools/install_dependencies.sh web)" >&2
  exit 1
fi
if [ ! -f "$root/web/node_modules/uplot/dist/uPlot.iife.min.js" ] || [ ! -f "$root/web/node_modules/esbuild/package.json" ]; then
  echo "build_web: the page's npm packages (uPlot, esbuild) are missing; run: npm ci --prefix web (or tools/install_dependencies.sh web)" >&2
  exit 1
fi
# Debian's Emscripten needs Debian's Node modules (acorn, ...) on the module path.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

mkdir -p "$tree"
emcmake cmake -S "$root" -B "$tree" -DCMAKE_BUILD_TYPE=Release -DMARIONETTE_WEB_OUTPUT_DIR="$output" \
  -DCMAKE_CROSSCOMPILING_EMULATOR=node >"$tree/configure.log" 2>&1 || { cat "$tree/configure.log" >&2; exit 1; }
cmake --build "$tree" --target marionette_web -j2
# The page's modules and style sheet go minified (each on its own, imports
# kept), and its HTML without the indentation of its lines (it has no
# preformatted text), as a cold load moves them uncompressed from a plain
# server.
"$root/web/node_modules/.bin/esbuild" --minify --log-level=warning --allow-overwrite --outdir="$output" \
  "$output"/{page,controls,knobs,graph,readouts,grab,session,long_work,figure,compare}.js "$output/page.css"
sed -i 's/^[[:space:]]*//' "$output/index.html"
node "$root/tools/one_file_page.mjs" "$output" "$output/marionette.html"
echo "build_web: the page is in $output, and in one file: $output/marionette.html ($(stat -c %s "$output/marionette.html") bytes)"
