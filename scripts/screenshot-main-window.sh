#!/usr/bin/env bash
# Takes the picture of the main window shown in the documentation
# (docs/images/main-window.png): starts the program from a build folder on a
# virtual X display with a fresh, temporary home (so neither the person's
# settings nor sound server are touched), waits for the window and captures it.
#
#   scripts/screenshot-main-window.sh [build-folder] [output.png]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
out=${2:-$here/docs/images/main-window.png}
program=$build/vorlinta
[ -x "$program" ] || { echo "screenshot: $program not built" >&2; exit 1; }
for tool in xvfb-run xwininfo import; do
  command -v $tool >/dev/null || { echo "screenshot: $tool is missing (xvfb, x11-utils, imagemagick)" >&2; exit 1; }
done

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p -m 0700 "$home/runtime" "$home/config" "$home/Music"
mkdir -p "$(dirname "$out")"

# Runs inside the virtual display: start the program, wait for its window,
# capture the window's rectangle of the screen, close the program.
inner=$(cat <<'INNER'
set -euo pipefail
program=$1; out=$2; runner=$3
# A process group of its own, so the program and the sound server that the
# runner may start for it end together.
setsid "$runner" "$program" >"$HOME/program.log" 2>&1 &
pid=$!
id=""
for _ in $(seq 100); do
  id=$(xwininfo -root -tree 2>/dev/null | awk '/"Quavix"/ {print $1; exit}')
  [ -n "$id" ] && break
  sleep 0.1
done
if [ -z "$id" ]; then
  echo "screenshot: the window did not appear" >&2
  cat "$HOME/program.log" >&2
  kill -- -"$pid" 2>/dev/null || true
  exit 1
fi
sleep 1  # let the first paint finish
geometry=$(xwininfo -id "$id" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
  /Width:/ {w=$2} /Height:/ {h=$2} END {printf "%dx%d+%d+%d", w, h, x, y}')
import -window root -crop "$geometry" +repage "$out"
kill -- -"$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
INNER
)

env -u PULSE_SERVER -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
  HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/runtime" XDG_MUSIC_DIR="$home/Music" \
  xvfb-run -a -s "-screen 0 800x600x24" bash -c "$inner" screenshot "$program" "$out" "$here/scripts/run-program.sh"
echo "wrote $out"
