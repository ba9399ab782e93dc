#!/usr/bin/env bash
# Builds the fuzz targets with clang against the instrumented libtiff, makes their seed corpus
# with the writers, and runs one of them for a number of seconds on one core. Findings land in
# build/fuzz/findings/.
# Usage: fuzz/run.sh [reader|walker, default reader] [seconds, default 600]
#                    [further libFuzzer options]
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:-reader}
seconds=${2:-600}
shift $(($# < 2 ? $# : 2))
source fuzz/common.sh

fuzz_build fuzz
fuzz_seeds "$build/seeds"
mkdir -p "$build/corpus-$target" "$build/findings"
exec "$build/fuzz/orvo_${target}_fuzz" "$build/corpus-$target" "$build/seeds" fuzz/regressions \
    "${fuzz_options[@]}" -max_total_time="$seconds" -artifact_prefix="$build/findings/" "$@"
