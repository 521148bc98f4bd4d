#!/usr/bin/env bash
# Starts the program. When no sound server answers (a new virtual machine, a
# headless box with a remote display), starts a private PulseAudio daemon with
# a virtual output for as long as the program runs, so a conversion can record
# that output's loop-back without any sound hardware. A sound server that is
# already running (PulseAudio or PipeWire) is left alone.
set -uo pipefail
program=$1; shift

if pactl info >/dev/null 2>&1; then
  exec "$program" "$@"
fi

base=${XDG_RUNTIME_DIR:-}
if [ -z "$base" ] || [ ! -d "$base" ] || [ ! -O "$base" ]; then
  base=/tmp/quavix-$(id -u)
  mkdir -p -m 0700 "$base"
  if [ -L "$base" ] || [ ! -O "$base" ]; then
    echo "Refusing to use $base: it is not a folder of this user" >&2
    exit 1
  fi
fi
dir=$(mktemp -d "$base/quavix-pulse.XXXXXX")
socket=$dir/native

cat > "$dir/default.pa" <<PA
load-module module-native-protocol-unix socket=$socket auth-anonymous=1
load-module module-null-sink sink_name=quavix_virtual_output sink_properties='device.description="Quavix virtual output"'
set-default-sink quavix_virtual_output
PA

HOME=$dir XDG_RUNTIME_DIR=$dir XDG_CONFIG_HOME=$dir/config PULSE_STATE_PATH=$dir/state \
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes --use-pid-file=no \
  --log-target=file:"$dir/pulseaudio.log" -F "$dir/default.pa" &
daemon=$!
stop_daemon() {
  kill "$daemon" 2>/dev/null && wait "$daemon" 2>/dev/null
  rm -rf "$dir"
}
trap stop_daemon EXIT INT TERM

export PULSE_SERVER=unix:$socket
for _ in $(seq 50); do
  pactl info >/dev/null 2>&1 && break
  sleep 0.1
done
if ! pactl info >/dev/null 2>&1; then
  echo "No sound server answers, and a private one could not be started (see $dir/pulseaudio.log)." >&2
  exit 1
fi
echo "No sound server was running: started a private one with a virtual output for this session."
"$program" "$@"
