#!/bin/sh
# Runs the transform benchmark, under a virtual X server when there is no display.
# Usage: bench/run-transform-bench.sh [BUILD_DIR]   (default: build)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
bench="${1:-$root/build}/bench/transform-bench"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  exec xvfb-run -a "$bench"
fi
exec "$bench"
