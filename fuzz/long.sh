#!/usr/bin/env bash
# A longer fuzz run, by hand: both fuzz targets against the instrumented libtiff, each for a
# number of minutes, side by side on one core each (--parallel) or one after the other. The
# corpora are kept in build/fuzz/long-corpus-<target>/ and grow from run to run; findings land
# in build/fuzz/findings/. Afterwards each corpus is replayed through a build with clang's
# source-based coverage, and the share of libtiff's and of the library's lines it reaches is
# printed beside libFuzzer's own figures (executions, cov, ft).
# Usage: fuzz/long.sh [minutes per target, default 15] [--parallel]
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-15}
parallel=0
[ "${2:-}" = --parallel ] && parallel=1
source fuzz/common.sh

fuzz_build fuzz
seeds=$build/seeds
fuzz_seeds "$seeds"
findings=$build/findings
mkdir -p "$findings"

run() {
    local target=$1 corpus=$build/long-corpus-$1
    mkdir -p "$corpus"
    "$build/fuzz/orvo_${target}_fuzz" "$corpus" "$seeds" fuzz/regressions "${fuzz_options[@]}" \
        -max_total_time=$((minutes * 60)) -artifact_prefix="$findings/$target-" \
        >"$build/long-$target.log" 2>&1
}
status=0
if [ "$parallel" = 1 ]; then
    run reader & reader=$!
    run walker & walker=$!
    wait "$reader" || status=1
    wait "$walker" || status=1
else
    run reader || status=1
    run walker || status=1
fi
for target in reader walker; do
    echo "orvo_${target}_fuzz, $minutes min:"
    { grep -aE '^#[0-9]+[[:space:]]+(DONE|pulse|REDUCE|NEW)' "$build/long-$target.log" || true; } | tail -1
    grep -E '^stat::' "$build/long-$target.log" || true
    grep -E '^(==[0-9]+==ERROR|SUMMARY|artifact_prefix|Test unit written)' \
        "$build/long-$target.log" || true
done

# The coverage replay: each corpus once through the coverage build, without the sanitizers.
fuzz_dir=$build
fuzz_build fuzz-coverage --coverage
tiff=$(scripts/fuzz_libtiff.sh --coverage)
for target in reader walker; do
    rm -f "$build"/coverage-"$target"-*.profraw
    LLVM_PROFILE_FILE="$build/coverage-$target-%p.profraw" \
        "$build/fuzz/orvo_${target}_fuzz" -runs=0 -timeout=10 -rss_limit_mb=2048 \
        "$fuzz_dir/long-corpus-$target" "$seeds" fuzz/regressions \
        >"$build/coverage-$target.log" 2>&1 || true
    llvm-profdata merge -sparse "$build"/coverage-"$target"-*.profraw \
        -o "$build/coverage-$target.profdata"
    echo "orvo_${target}_fuzz corpus of $(find "$fuzz_dir/long-corpus-$target" -type f |
                                           wc -l) inputs, lines reached:"
    for part in "$tiff/src/libtiff" "$PWD/orvo/src"; do
        llvm-cov report "$build/fuzz/orvo_${target}_fuzz" \
            -instr-profile="$build/coverage-$target.profdata" "$part" |
            awk -v part="$part" '$1 == "TOTAL" { print "  " part ": " $10 " (" $8 - $9 " of " $8 ")" }'
    done
done
exit "$status"
