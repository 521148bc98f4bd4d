#!/usr/bin/env bash
# Builds and runs the benchmarks: the length probe, opening a song, a
# conversion on a private sound server (PulseAudio, then PipeWire), and
# start-up under a private X server. Prints each program's table and, last,
# one "name value unit" line per figure; the figures of the whole run also
# go to <build>/bench-figures.txt.
# Benchmarks never fail on a time: the exit status only says whether they ran.
#
# Usage: scripts/run-bench.sh [BUILD_FOLDER] [bench names...]
#        bench names: probe open convert startup offline (default: all five)
# QUAVIX_BENCH_PROGRAM names the program whose start-up is timed (default:
# BUILD_FOLDER/vorlinta, built here); QUAVIX_BENCH_SONGS another song folder.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
shift || true
case "$build" in /*) ;; *) build="$root/$build" ;; esac
benches=("$@")
[ ${#benches[@]} -eq 0 ] && benches=(probe open convert startup offline)

# The references come from Debian packages; install what is missing.
need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for p in python3-mido fluidsynth fluid-soundfont-gm openttd-openmsx gstreamer1.0-tools ffmpeg \
         gstreamer1.0-plugins-base-apps pulseaudio pulseaudio-utils pipewire pipewire-pulse \
         wireplumber xvfb libx11-dev; do
  have "$p" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${need[@]}"
fi

[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build"
jobs=${JOBS:-2}
targets=()
for b in "${benches[@]}"; do
  case "$b" in
    probe|open|convert|startup|offline) targets+=("bench_$b") ;;
    *) echo "unknown benchmark: $b (probe, open, convert, startup, offline)" >&2; exit 2 ;;
  esac
done
program=${QUAVIX_BENCH_PROGRAM:-$build/vorlinta}
if [ -z "${QUAVIX_BENCH_PROGRAM:-}" ]; then
  case " ${benches[*]} " in *" startup "*) targets+=(vorlinta) ;; esac
fi
case " ${benches[*]} " in *" convert "*|*" offline "*) targets+=(vorlinta-wmawriter) ;; esac
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

# Never the person's own sound server, settings, cache (the recording's
# temporary WAV) or display.
unset PULSE_SERVER PULSE_SINK PULSE_SOURCE DISPLAY WAYLAND_DISPLAY
scratch=$(mktemp -d "${TMPDIR:-/tmp}/quavix-bench-env-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/runtime" XDG_CACHE_HOME="$scratch/cache"
mkdir -p -m 0700 "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$XDG_CACHE_HOME"

figures="$build/bench-figures.txt"
{
  echo "# $(date -u '+%Y-%m-%d %H:%M UTC') $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?')"
  echo "# $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(free -m | awk '/^Mem:/ {print $2}') MiB"
} > "$figures"

status=0
for b in "${benches[@]}"; do
  echo
  echo "=================== $b ==================="
  log="$scratch/$b.log"
  args=()
  [ "$b" = startup ] && args=("$program")
  if "$build/bench_$b" "${args[@]}" 2>"$scratch/$b.err" | tee "$log"; then
    # The figure lines are the block after the last empty line.
    awk 'NF==0 {block=""; next} {block = block $0 "\n"} END {printf "%s", block}' "$log" >> "$figures"
  else
    echo "bench_$b did not run to its end; its errors:" >&2
    tail -20 "$scratch/$b.err" >&2
    status=1
  fi
done
echo
echo "All figures: $figures"
exit $status
