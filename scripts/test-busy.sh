#!/usr/bin/env bash
# `make test` on a busy machine: two processes that spin on the CPU run
# beside it for its whole length, as other work would. Runs it ROUNDS times
# (default 3) in a row and stops at the first failure; each round's result
# and time are printed.
#   scripts/test-busy.sh [ROUNDS] [make arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}
shift || true
spinners=()
stop_spinners() {
  for pid in "${spinners[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${spinners[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap stop_spinners EXIT
for _ in 1 2; do
  python3 -c 'while True: pass' &
  spinners+=($!)
done
for round in $(seq 1 "$rounds"); do
  start=$(date +%s)
  if make test "$@"; then
    echo "busy round $round of $rounds: passed in $(($(date +%s) - start)) s"
  else
    echo "busy round $round of $rounds: FAILED after $(($(date +%s) - start)) s"
    exit 1
  fi
done
echo "make test passed $rounds times in a row beside two busy processes"
