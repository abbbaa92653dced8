#!/bin/sh
# Runs the fuzz target for a bounded time. New inputs go to a scratch corpus, so the seeds
# (the dialogs of the tests and examples) stay as they are.
set -eu
target=$1
seconds=${2:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
corpus=${FUZZ_CORPUS:-$(mktemp -d)}
mkdir -p "$corpus"
exec "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  "$corpus" "$root/tests/data" "$root/examples"
