#!/usr/bin/env bash
# Installs what marionette needs at one level, if any of it is missing: Debian
# packages (as root, or through sudo) and npm packages into this checkout.
# usage: tools/install_dependencies.sh [build|test|plot|python|web|golden|ci]   (default: build)
#   build:  compiler, CMake, OpenGL/GLU/GLUT, GoogleTest, Google Benchmark, GNU MPFR,
#           nlohmann's JSON (model files):
#           the window program, the runner and the unit tests
#   test:   build + the X server and tools the real-window test drives (Xvfb, xauth
#           for xvfb-run, xdotool, ImageMagick, Python): the whole test suite
#   plot:   build + matplotlib for tools/plot_run.py and its test
#   python: build + pybind11, numpy, pytest, Dask's distributed and matplotlib for Debian's
#           python3: the Python module (python/), its tests and its sweep example
#   web:    build + Emscripten for the web page, its npm packages (npm ci --prefix
#           web: the charting library, and esbuild, which bundles the one-file page),
#           and Node, Chromium and the npm package playwright-core (npm ci --prefix
#           tests/web) for its browser test
#   golden: the compilers, emulators and Node that tools/check_golden.sh builds and runs with
#   ci:     all of the above + clang's libFuzzer runtime + MuJoCo, the benchmark's peer
# Before it installs anything it says what, and how much; apt-get's and dpkg's
# own output goes to a log that is shown only if they fail.
set -euo pipefail
cd "$(dirname "$0")/.."

# What each part of a level brings: Debian packages (PART_debs), and the
# folders of this checkout whose package-lock.json `npm ci` installs (PART_npm).
build_debs=(g++ make cmake pkg-config libgtest-dev libbenchmark-dev freeglut3-dev libglu1-mesa-dev libgl-dev libmpfr-dev nlohmann-json3-dev)
test_debs=(xvfb xauth xdotool x11-utils imagemagick python3)
plot_debs=(python3-matplotlib)
python_debs=(python3 python3-dev pybind11-dev python3-numpy python3-pytest python3-dask python3-distributed python3-matplotlib)
web_debs=(emscripten nodejs chromium)
# A Node from outside Debian (NodeSource's, for one) carries its own npm, which Debian's would conflict with.
command -v npm >/dev/null 2>&1 || web_debs+=(npm)
web_npm=(tests/web web)
golden_debs=(g++ make cmake clang g++-aarch64-linux-gnu g++-i686-linux-gnu qemu-user emscripten nodejs nlohmann-json3-dev)
ci_debs=(clang libclang-rt-14-dev)
# MuJoCo, which the benchmark times beside marionette and mujoco_peer_test holds to marionette's dynamics.
ci_debs+=(libmujoco-dev)

level=${1:-build}
case "$level" in
  build) parts=(build) ;;
  test) parts=(build test) ;;
  plot) parts=(build plot) ;;
  python) parts=(build python) ;;
  web) parts=(build web) ;;
  golden) parts=(golden) ;;
  ci) parts=(build test plot python web golden ci) ;;
  *) echo "usage: tools/install_dependencies.sh [build|test|plot|python|web|golden|ci]" >&2; exit 2 ;;
esac

# What is missing: Debian packages not installed, npm folders not installed
# from their current lock file.
missing=()
npm_folders=()
declare -A seen=()
for part in "${parts[@]}"; do
  declare -n debs=${part}_debs
  for package in "${debs[@]}"; do
    [ -z "${seen[$package]:-}" ] || continue
    seen[$package]=1
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
  done
  if declare -p "${part}_npm" >/dev/null 2>&1; then
    declare -n folders=${part}_npm
    for folder in "${folders[@]}"; do
      [ "$folder/node_modules/.package-lock.json" -nt "$folder/package-lock.json" ] || npm_folders+=("$folder")
    done
  fi
done
[ ${#missing[@]} -eq 0 ] && [ ${#npm_folders[@]} -eq 0 ] && exit 0

# The npm packages a folder's lock file names, for the announcement.
npm_packages() {
  sed -n 's|^ *"node_modules/\([^"]*\)": {$|\1|p' "$1/package-lock.json" | paste -sd ' '
}

# apt-get's status lines (APT::Status-Fd) become a progress line on standard
# output: redrawn in place on a terminal, one line per tenth elsewhere (CI
# logs). Everything else apt-get and dpkg print goes to the log file $1.
show_progress() {
  local log=$1 line kind percent shown=-1 stage= tenth drawn=
  while IFS= read -r line; do
    case "$line" in
      dlstatus:*) kind=downloading ;;
      pmstatus:*) kind="unpacking and setting up" ;;
      *) printf '%s\n' "$line" >>"$log"; continue ;;
    esac
    percent=$(cut -d: -f3 <<<"$line")
    percent=${percent%%.*}
    [[ $percent =~ ^[0-9]+$ ]] || continue
    if [ -t 1 ]; then
      [ "$drawn" = "$kind $percent" ] || printf '\r  %-25s %3d%%' "$kind:" "$percent"
      drawn="$kind $percent"
    else
      tenth=$((percent / 10 * 10))
      if [ "$kind" != "$stage" ] || [ "$tenth" -gt "$shown" ]; then
        echo "  $kind: $tenth%"
        stage=$kind
        shown=$tenth
      fi
    fi
  done
  [ ! -t 1 ] || echo
}

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then
    as_root=()
  elif command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
  else
    echo "marionette needs these Debian packages: ${missing[*]}" >&2
    echo "install them as root: apt-get install --no-install-recommends ${missing[*]}" >&2
    for folder in "${npm_folders[@]}"; do echo "then, as yourself: npm ci --prefix $folder" >&2; done
    exit 1
  fi
  apt=("${as_root[@]}" env DEBIAN_FRONTEND=noninteractive LC_ALL=C apt-get)

  echo "tools/install_dependencies.sh $level: reading Debian's package lists (apt-get update)"
  "${apt[@]}" update -qq
  # apt-get's own summary, without installing anything: how many packages, how big
  summary=$("${apt[@]}" install --no-install-recommends --assume-no "${missing[@]}" 2>&1 || true)
  count=$(sed -n 's/^\([0-9]*\) upgraded, \([0-9]*\) newly installed.*/\1 \2/p' <<<"$summary")
  download=$(sed -n 's/^Need to get \([^ ]* [kMG]*B\)\(\/[^ ]* [kMG]*B\)\{0,1\} of archives.*/\1/p' <<<"$summary")
  disk=$(sed -n 's/^After this operation, \([^ ]* [kMG]*B\) of additional disk space.*/\1/p' <<<"$summary")
  if [ -z "$count" ]; then
    # no summary: apt-get cannot install them; its own words say why
    printf '%s\n' "$summary" >&2
    exit 1
  fi
  read -r upgraded new <<<"$count"
  [ "$upgraded" -eq 0 ] && upgraded= || upgraded=" and $upgraded upgraded"
  echo "Debian packages to install: ${missing[*]}"
  echo "  with what they need, $new new packages$upgraded:" \
    "${download:-nothing} to download, ${disk:-no more} on disk"
  for folder in "${npm_folders[@]}"; do
    echo "npm packages into $folder/node_modules: $(npm_packages "$folder")"
  done

  log=$(mktemp "${TMPDIR:-/tmp}/marionette-apt.XXXXXX.log")
  start=$SECONDS
  if ! "${apt[@]}" install -y --no-install-recommends -o APT::Status-Fd=1 "${missing[@]}" 2>&1 |
    show_progress "$log"; then
    echo "apt-get install failed; the end of its output (all of it in $log):" >&2
    tail -n 30 "$log" >&2
    exit 1
  fi
  rm -f "$log"
  echo "installed the Debian packages in $((SECONDS - start)) s"
else
  for folder in "${npm_folders[@]}"; do
    echo "npm packages into $folder/node_modules: $(npm_packages "$folder")"
  done
fi

for folder in "${npm_folders[@]}"; do
  npm ci --prefix "$folder" --no-audit --no-fund
done
