#!/usr/bin/env bash
# Takes the pictures shown in the documentation: the main window
# (docs/images/main-window.png) and its about box (about-box.png, in the same
# folder), from the program started from a build folder on a virtual X display
# with a fresh, temporary home (so neither the person's settings nor sound
# server are touched); the about box is opened from the window's context menu
# as a person would. With no window manager the window cannot be minimised, so
# the minimised window (main-window-minimised.png) comes from the controls
# test program (quavix_controls_test), which grabs the real window in that
# state headless; when the program's window does not come up, that test
# program's grabs of the real main window and about box are used instead.
#
#   scripts/screenshot-main-window.sh [build-folder] [output.png]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
out=${2:-$here/docs/images/main-window.png}
program=$build/vorlinta
[ -x "$program" ] || { echo "screenshot: $program not built" >&2; exit 1; }
for tool in xvfb-run xwininfo import xdotool; do
  command -v $tool >/dev/null || { echo "screenshot: $tool is missing (xvfb, x11-utils, imagemagick, xdotool)" >&2; exit 1; }
done

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p -m 0700 "$home/runtime" "$home/config" "$home/Music"
mkdir -p "$(dirname "$out")"

# Runs inside the virtual display: start the program, wait for its window,
# capture the window's rectangle of the screen, close the program.
inner=$(cat <<'INNER'
set -euo pipefail
program=$1; out=$2; runner=$3; about=$4
# A process group of its own, so the program and the sound server that the
# runner may start for it end together.
setsid "$runner" "$program" >"$HOME/program.log" 2>&1 &
pid=$!
id=""
for _ in $(seq 600); do
  id=$(xwininfo -root -tree 2>/dev/null | awk '/"Quavix"/ {print $1; exit}')
  [ -n "$id" ] && break
  kill -0 "$pid" 2>/dev/null || break  # the program ended without a window
  sleep 0.1
done
if [ -z "$id" ]; then
  echo "screenshot: the window did not appear" >&2
  cat "$HOME/program.log" >&2
  kill -- -"$pid" 2>/dev/null || true
  exit 1
fi
sleep 1  # let the first paint finish
capture() {
  local geometry
  geometry=$(xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
    /Width:/ {w=$2} /Height:/ {h=$2} END {printf "%dx%d+%d+%d", w, h, x, y}')
  import -window root -crop "$geometry" +repage "$2"
}
capture "$id" "$out"
# The about box: a right click on the window's background opens its menu,
# whose last item is "About Quavix".
xdotool mousemove --window "$id" 6 6 click 3
sleep 0.5
xdotool key Up Return
box=""
for _ in $(seq 50); do
  box=$(xwininfo -root -tree 2>/dev/null | awk '/"About Quavix"/ {print $1; exit}')
  [ -n "$box" ] && break
  sleep 0.1
done
if [ -n "$box" ]; then
  sleep 1
  capture "$box" "$about"
  xdotool key Escape
else
  echo "screenshot: the about box did not appear" >&2
fi
kill -- -"$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
INNER
)

shots=$home/shots
mkdir -p "$shots"
env -u PULSE_SERVER -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
  HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/runtime" XDG_MUSIC_DIR="$home/Music" \
  xvfb-run -a -s "-screen 0 800x600x24" bash -c "$inner" screenshot "$program" "$shots/main-window.png" \
  "$here/scripts/run-program.sh" "$shots/about-box.png" || echo "screenshot: falling back to the headless grabs" >&2

# The headless grabs of the real windows by the controls test program, in
# folders of its own (it starts its own private sound server).
if [ -x "$build/quavix_controls_test" ]; then
  env -u PULSE_SERVER -u DISPLAY QT_QPA_PLATFORM=offscreen QUAVIX_SCREENSHOT_DIR="$shots" \
    "$build/quavix_controls_test" --gtest_filter='AboutBoxTest.*' >/dev/null || true
  [ -f "$shots/main-window.png" ] || cp "$shots/main-window-offscreen.png" "$shots/main-window.png" 2>/dev/null || true
  [ -f "$shots/about-box.png" ] || cp "$shots/about-box-offscreen.png" "$shots/about-box.png" 2>/dev/null || true
fi
for picture in main-window.png about-box.png main-window-minimised.png; do
  target=$(dirname "$out")/$picture
  [ "$picture" = main-window.png ] && target=$out
  if [ -f "$shots/$picture" ]; then
    cp "$shots/$picture" "$target"
    echo "wrote $target"
  else
    echo "screenshot: no $picture" >&2
  fi
done
