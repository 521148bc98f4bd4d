#!/usr/bin/env bash
# Builds the MIDI reader's libFuzzer target with clang and runs it for a
# bounded time from the committed seed corpus. New inputs go to a scratch
# folder, so the committed corpus stays small; a crash leaves its input in
# the current folder and makes this script fail.
#   tests/midi/fuzz.sh [seconds=60] [build-folder=build-fuzz]
set -euo pipefail
seconds=${1:-60}
build=${2:-build-fuzz}
root=$(cd "$(dirname "$0")/../.." && pwd)
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DQUAVIX_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzz_midi_reader -j 2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$build/fuzz_midi_reader" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  "$scratch" "$root/tests/midi/corpus"
