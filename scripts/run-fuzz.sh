#!/usr/bin/env bash
# Runs one fuzz target over its committed seeds plus new inputs for a number of seconds; new
# inputs worth keeping go to the build's own corpus, a failing input to <fuzz dir>/crashes.
# Usage: run-fuzz.sh <fuzz build dir> <target> <seconds>
set -euo pipefail
dir=$1 target=$2 seconds=$3
seeds=$(cd "$(dirname "$0")/.." && pwd)/tests/fuzz/corpus/$target
work=$dir/corpus/$target
mkdir -p "$work" "$dir/crashes"
exec "$dir/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$dir/crashes/$target-" "$work" "$seeds"
