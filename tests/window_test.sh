#!/usr/bin/env bash
# Runs the window program in an X server of its own and looks at what it shows.
#
# Usage: window_test.sh PROGRAM IMAGE_DIR
#
# Exits 0 when every check passes, 1 at the first that fails, and 77 (skipped)
# when the X server or the tools to drive and photograph it are missing
# (1 instead when MARIONETTE_REQUIRE_WINDOW_TEST is set).
#
# Where to look: the camera stands at (0, -1, 15) and looks at (0, -2, 0) with
# a 45-degree field of view, so in the 400 x 400 window the pivot (the world's
# origin) appears at column 200, row 135, and one unit near it spans about 32
# pixels. The torso hangs down from there; the head sits above it.
#
# The machine may be slow and busy: every check photographs the window again
# and again until what it looks for shows or a generous deadline passes.
set -u

if [ $# -ne 2 ]; then
  echo "usage: $0 PROGRAM IMAGE_DIR" >&2
  exit 2
fi
program=$1
images=$2
# The program runs from another directory, so it needs a path that works from there.
[[ $program = /* ]] || program=$PWD/$program

missing=()
for tool in Xvfb xdotool xwininfo import convert compare python3 timeout; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
# Some machines carry a stand-in convert, ahead of ImageMagick's on the PATH,
# that only prints PNG files: use the first convert that is ImageMagick's.
convert_tool=
for candidate in $(type -ap convert); do
  if "$candidate" -version 2>/dev/null | grep -q ImageMagick; then
    convert_tool=$candidate
    break
  fi
done
[ -n "$convert_tool" ] || missing+=("convert (ImageMagick)")
if [ ${#missing[@]} -gt 0 ]; then
  printf -v list '%s, ' "${missing[@]}"
  reason="window_test: skipped, not installed: ${list%, }; tools/install_dependencies.sh test installs them (Debian packages xvfb xdotool x11-utils imagemagick python3)"
  echo "$reason"
  # CI sets MARIONETTE_REQUIRE_WINDOW_TEST so that a missing tool fails instead.
  [ -z "${MARIONETTE_REQUIRE_WINDOW_TEST:-}" ] || exit 1
  # for CTest to print after the run (tests/skip_reasons.sh)
  [ -z "${MARIONETTE_SKIP_NOTE:-}" ] || { mkdir -p "${MARIONETTE_SKIP_NOTE%/*}" && echo "$reason" >"$MARIONETTE_SKIP_NOTE"; }
  exit 77
fi

if [ ! -x "$program" ]; then
  echo "window_test: no program at $program" >&2
  exit 1
fi
pictures=(head2 torso rightUpperArm rightLowerArm rightHand leftUpperArm leftLowerArm leftHand
  rightUpperLeg rightLowerLeg rightFoot leftUpperLeg leftLowerLeg leftFoot)
for name in "${pictures[@]}"; do
  if [ ! -f "$images/$name.tga" ]; then
    echo "window_test: the picture $images/$name.tga is missing" >&2
    exit 1
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/window_test.XXXXXX")
xvfb_pid=
program_pid=

# Ends what this test started, and only that.
cleanup() {
  if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
    kill "$program_pid" 2>/dev/null
    wait "$program_pid" 2>/dev/null
  fi
  if [ -n "$xvfb_pid" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() {
  echo "window_test: FAIL: $*" >&2
  if [ -s "$work/program.log" ]; then
    echo "--- what the program printed:" >&2
    cat "$work/program.log" >&2
  fi
  exit 1
}

pass() {
  echo "window_test: ok: $*"
}

# A deadline the given number of seconds from now.
deadline_in() {
  awk -v t="$(date +%s.%N)" -v s="$1" 'BEGIN { printf "%.3f", t + s }'
}

# True while the deadline has not passed.
before() {
  awk -v t="$(date +%s.%N)" -v d="$1" 'BEGIN { exit !(t < d) }'
}

# True if the number $1 is greater than $2.
greater() {
  awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'
}

# --- An X server of our own, on the first free display it finds.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
limit=$(deadline_in 30)
while ! grep -q '^[0-9][0-9]*$' "$work/display" 2>/dev/null; do
  kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; fail "Xvfb did not start"; }
  before "$limit" || fail "Xvfb named no display within 30 s"
  sleep 0.1
done
export DISPLAY=":$(head -n 1 "$work/display")"
unset XAUTHORITY
pass "Xvfb on $DISPLAY"

# --- Pictures and pixels. Regions are WxH+X+Y in window pixels.
whole=400x400+0+0
torso_column=11x50+195+145  # just below the pivot
head_box=61x60+170+65       # above the pivot
top_corners=(60x60+0+0 60x60+340+0)
left_half=200x250+0+150     # below the head's reach
right_half=200x250+200+150

# Share (0 to 1) of the pixels in region $2 of picture $1 that are not pure white.
nonwhite() {
  "$convert_tool" "$1" -crop "$2" +repage -alpha off -fill black +opaque white -format '%[fx:1-mean]' info:
}

# Number of pixels that differ clearly between pictures $1 and $2.
changed() {
  compare -metric AE -fuzz 10% "$1" "$2" null: 2>&1
}

# The box around everything that is not white in picture $1: "width height x y".
figure_box() {
  "$convert_tool" "$1" -alpha off -fill black +opaque white -format '%@' info: | tr 'x+' '  '
}

# True if boxes $1 and $2 differ by at most $3 pixels in every number.
boxes_match() {
  local a b
  read -r -a a <<<"$1"
  read -r -a b <<<"$2"
  for k in 0 1 2 3; do
    local d=$((a[k] - b[k]))
    [ "${d#-}" -le "$3" ] || return 1
  done
}

# --- The program.

# In a sanitizer build, leak checking stays with the unit tests: the graphics
# driver that Mesa loads at run time does not free all it allocates before
# the window system ends the program.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

# Starts the program in directory $1 and waits for its window: sets
# program_pid and window.
start_program() {
  (cd "$1" && exec "$program") >"$work/program.log" 2>&1 &
  program_pid=$!
  window=
  local limit
  limit=$(deadline_in 60)
  while [ -z "$window" ]; do
    kill -0 "$program_pid" 2>/dev/null || fail "the program ended before it showed a window"
    before "$limit" || fail "no window titled \"$program\" within 60 s"
    sleep 0.2
    window=$(timeout 10 xwininfo -root -children 2>/dev/null |
      grep -F "\"$program\": " | awk '{ print $1 }' | head -n 1)
  done
  local geometry
  geometry=$(timeout 10 xwininfo -root -children | grep -F "$window \"$program\": " | awk '{ print $(NF-1) }')
  [ "$geometry" = "400x400+100+100" ] || fail "window $window is $geometry, not 400x400+100+100"
  pass "window $window titled with the invocation name, 400x400 at 100,100"
}

# Checks that the program is still running.
still_running() {
  kill -0 "$program_pid" 2>/dev/null || fail "the program ended on its own ($1)"
}

# Photographs the window into $work/now.png every half second until the test
# $2 holds for the picture; fails after $1 seconds with message $3 and what
# the test last saw (it leaves that in `seen`).
await() {
  local limit
  limit=$(deadline_in "$1")
  seen=
  while :; do
    still_running "$3"
    timeout 20 import -window "$window" "$work/now.png" 2>/dev/null || fail "cannot photograph the window"
    "$2" "$work/now.png" && return 0
    before "$limit" || fail "$3 within $1 s ($seen)"
    sleep 0.5
  done
}

# Presses key $1 in the window.
press() {
  timeout 10 xdotool key --window "$window" "$1" 2>/dev/null || fail "xdotool could not send $1"
}

# Sends the window the window manager's request to close, as a close button would.
close_window() {
  python3 - "$1" <<'EOF'
import ctypes, ctypes.util, sys
x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XCloseDisplay.argtypes = [ctypes.c_void_p]
class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]
class Event(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                         ctypes.POINTER(Event)]
display = x.XOpenDisplay(None)
if not display:
    sys.exit("cannot open the display")
event = Event()
event.xclient.type = 33  # ClientMessage
event.xclient.window = int(sys.argv[1], 0)
event.xclient.message_type = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
event.xclient.format = 32
event.xclient.data[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
x.XSendEvent(display, event.xclient.window, 0, 0, ctypes.byref(event))
x.XCloseDisplay(display)
EOF
}

# Closes the window and expects the program to end with status 0.
end_program() {
  close_window "$window" || fail "could not send the close request"
  local limit status
  limit=$(deadline_in 30)
  while kill -0 "$program_pid" 2>/dev/null; do
    before "$limit" || fail "the program still runs 30 s after its window was closed"
    sleep 0.2
  done
  wait "$program_pid"
  status=$?
  program_pid=
  [ "$status" -eq 0 ] || fail "closing the window ended the program with status $status"
  pass "closing the window ends the program with status 0"
}

# --- The tests that await() applies to a picture.

# A new window is black until its first picture, which clears it to white.
painted() {
  seen="non-white share at the top left $(nonwhite "$1" "${top_corners[0]}")"
  ! greater "${seen##* }" 0.5
}

torso_shows() {
  seen="non-white share $(nonwhite "$1" "$torso_column")"
  greater "${seen##* }" 0.3
}

differs_from_first() {
  seen="$(changed "$work/first.png" "$1") pixels changed"
  greater "${seen%% *}" 0
}

# The figure is at rest when its box stays put over four pictures in a row,
# each of them new (the nodding head changes every picture), so that a
# program that merely stopped drawing for a moment does not count as at rest.
box_stays() {
  local box moved
  box=$(figure_box "$1")
  moved=$(changed "$work/previous.png" "$1")
  cp "$1" "$work/previous.png"
  seen="box $box, before $previous_box, $moved pixels changed"
  if greater "$moved" 0 && boxes_match "$box" "$previous_box" 2; then
    steady=$((steady + 1))
  else
    steady=0
  fi
  previous_box=$box
  [ "$steady" -ge 3 ]
}

# Raised arms and legs make the figure much wider than at rest.
spread_wide() {
  local box
  box=$(figure_box "$1")
  seen="box $box, at rest $rest_box"
  greater "${box%% *}" $((${rest_box%% *} + 60))
}

back_at_rest() {
  local box
  box=$(figure_box "$1")
  seen="box $box, at rest $rest_box"
  boxes_match "$box" "$rest_box" 8
}

leans_left() {
  local left right
  left=$(nonwhite "$1" "$left_half")
  right=$(nonwhite "$1" "$right_half")
  seen="non-white share left $left, right $right"
  greater "$left" "$(awk -v r="$right" 'BEGIN { print 1.5 * r }')"
}

blank() {
  seen="non-white share $(nonwhite "$1" "$whole")"
  ! greater "${seen##* }" 0
}

# --- With its pictures: the figure hangs from the pivot, moves, and obeys the keys.
mkdir "$work/with_pictures" "$work/without_pictures"
for name in "${pictures[@]}"; do
  cp "$images/$name.tga" "$work/with_pictures/"
done
start_program "$work/with_pictures"

await 60 painted "the window shows no picture"
await 60 torso_shows "no torso below the pivot"
pass "the torso hangs below the pivot ($seen)"
cp "$work/now.png" "$work/first.png"
share=$(nonwhite "$work/first.png" "$head_box")
greater "$share" 0.1 || fail "no head above the pivot (non-white share $share)"
pass "the head sits above the pivot (non-white share $share)"
for corner in "${top_corners[@]}"; do
  share=$(nonwhite "$work/first.png" "$corner")
  greater "$share" 0 && fail "the background at $corner is not white (non-white share $share)"
done
pass "the background is white"

await 30 differs_from_first "the picture did not change"
pass "the picture changes over time ($seen)"

previous_box=$(figure_box "$work/first.png")
cp "$work/first.png" "$work/previous.png"
steady=0
await 120 box_stays "the figure did not come to rest"
rest_box=$previous_box
pass "without keys the figure comes to rest (box $rest_box)"

press Down
await 60 spread_wide "Down did not spread the arms and legs"
pass "Down spreads the arms and legs ($seen)"

press Up
await 120 back_at_rest "Up did not bring the figure back to rest"
pass "Up brings the figure back to rest ($seen)"

press Left
await 60 leans_left "Left did not swing the figure to the left"
pass "Left swings the figure to the left ($seen)"
end_program

# --- Without any picture: the program runs all the same, on a blank window.
start_program "$work/without_pictures"
await 30 blank "without pictures the window did not turn blank"
sleep 2
still_running "without pictures"
pass "without pictures the program runs on a blank window"
end_program

echo "window_test: all checks passed"
