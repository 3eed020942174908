#!/usr/bin/env bash
# Runs a fuzz target for a bounded time on its growing corpus and its seeds; further arguments go
# to the fuzzer as they are.
#   run-fuzz.sh TARGET SECONDS CORPUS_DIR SEED_DIR [FUZZER_OPTION...]
set -euo pipefail
target=$1 seconds=$2 corpus=$3 seeds=$4
shift 4
mkdir -p "$corpus"
exec "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 "$@" \
    "$corpus" "$seeds"
