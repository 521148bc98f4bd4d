#!/usr/bin/env bash
# Fails when a tracked C++ file differs from the house style (.clang-format),
# naming the files; `make format` applies the style.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
bad=$(clang-format --dry-run "${files[@]}" 2>&1 | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: warning: code should be clang-formatted.*/\1/p' | sort -u)
if [ -n "$bad" ]; then
  echo "These files are not in the house style (run 'make format'):"
  printf '  %s\n' $bad
  exit 1
fi
echo "Format: ${#files[@]} files in the house style."
