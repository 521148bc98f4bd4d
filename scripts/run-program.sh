#!/usr/bin/env bash
# Starts the program from the build folder.
set -euo pipefail
exec "$@"
