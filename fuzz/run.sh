#!/usr/bin/env bash
# Builds the reader's fuzz target with clang, makes its seed corpus with the writers, and runs
# it for a number of seconds on one core. Findings land in build/fuzz/findings/.
# Usage: fuzz/run.sh [seconds, default 600] [further libFuzzer options]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true

scripts/setup.sh --fuzz
build=build/fuzz
cmake --preset fuzz >/dev/null
cmake --build "$build" --target orvo_reader_fuzz orvo_reader_corpus -j 2

seeds=$build/seeds
rm -rf "$seeds"
mkdir -p "$seeds" "$build/corpus" "$build/findings"
"$build/fuzz/orvo_reader_corpus" "$seeds"

exec "$build/fuzz/orvo_reader_fuzz" "$build/corpus" "$seeds" \
    -dict=fuzz/reader.dict -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
    -artifact_prefix="$build/findings/" -print_final_stats=1 "$@"
