#!/usr/bin/env bash
# Runs ctest in a build folder with a clean, private environment: tests never
# touch the person's settings or sound server.
set -euo pipefail
build=$1; shift
export QT_QPA_PLATFORM=offscreen
unset PULSE_SERVER DISPLAY WAYLAND_DISPLAY
here=$(cd "$(dirname "$0")" && pwd)
# Slow unwinding so that leak suppressions see the loader's frames, 16 deep
# (see tests/support/sanitizer_hooks.cpp).
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:fast_unwind_on_malloc=0:malloc_context_size=16}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$here/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
cd "$build"
ctest --output-on-failure --timeout 600 -j 2 "$@"
