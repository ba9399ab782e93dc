#!/usr/bin/env bash
# The fuzz step of CI: both fuzz targets built against the instrumented libtiff, each fuzzed
# for a short while from the seeds and the regression files, then every input of the corpus
# (seeds, fuzz/regressions/ and what the runs added) replayed under the sanitizers. Any finding
# (crash, sanitizer report, timeout, memory limit) fails the step; it is saved in
# build/fuzz/findings/ and its name printed.
# Usage: fuzz/ci.sh [seconds per target, default 55]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-55}
source fuzz/common.sh

fuzz_build fuzz
seeds=$build/ci-seeds
fuzz_seeds "$seeds"
findings=$build/findings
mkdir -p "$findings"
status=0
for target in reader walker; do
    corpus=$build/ci-corpus-$target
    rm -rf "$corpus"
    mkdir -p "$corpus"
    echo "Fuzzing orvo_${target}_fuzz for $seconds s ..."
    if ! "$build/fuzz/orvo_${target}_fuzz" "$corpus" "$seeds" fuzz/regressions \
            "${fuzz_options[@]}" -max_total_time="$seconds" \
            -artifact_prefix="$findings/$target-" >"$build/ci-$target.log" 2>&1; then
        tail -60 "$build/ci-$target.log" >&2
        status=1
        continue
    fi
    grep -aE '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+[[:space:]]+DONE)' \
        "$build/ci-$target.log" || true
    # The replay: each input once, each one a finding if it fails.
    if ! "$build/fuzz/orvo_${target}_fuzz" "${fuzz_options[@]}" \
            -artifact_prefix="$findings/$target-replay-" \
            "$seeds"/* fuzz/regressions/* $(find "$corpus" -type f) \
            >"$build/ci-$target-replay.log" 2>&1; then
        tail -60 "$build/ci-$target-replay.log" >&2
        status=1
        continue
    fi
    echo "Replayed $(grep -c '^Running: ' "$build/ci-$target-replay.log") inputs through" \
        "orvo_${target}_fuzz"
done
if [ "$status" != 0 ]; then
    echo "fuzz/ci.sh: findings in $findings:" >&2
    ls "$findings" >&2
fi
exit "$status"
