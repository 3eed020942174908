#!/usr/bin/env bash
# Runs a fuzz target for a bounded time on its growing corpus and its seeds.
#   run-fuzz.sh TARGET SECONDS CORPUS_DIR SEED_DIR
set -euo pipefail
target=$1 seconds=$2 corpus=$3 seeds=$4
mkdir -p "$corpus"
exec "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
    "$corpus" "$seeds"
