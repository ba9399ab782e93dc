#!/usr/bin/env bash
# Sets up, builds with the sanitizers and warnings as errors, and runs every test; fuzzes the
# reader and the walker for a while against an instrumented libtiff and replays their corpus
# (fuzz/ci.sh, about two minutes); then cross-builds the Windows programs and tests them under
# Wine against this build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --viewer-tests
build=build/test
cmake --preset test >/dev/null
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
fuzz/ci.sh
scripts/windows.sh "$build"
