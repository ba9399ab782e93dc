#!/usr/bin/env bash
# The main job: sets up, builds, and shows what the tools do today. It writes a sample Orvo
# file with the stitcher's writer, prints what libtiff's tiffinfo sees of it, and leaves PNG
# previews of its layers in out/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build=build/release
echo "Building ..."
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DORVO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
mkdir -p out
"$build"/tools/orvo_sample out/sample.orv
echo
echo "What tiffinfo sees of out/sample.orv:"
tiffinfo out/sample.orv
echo
"$build"/tools/orvo_inspect --png out/sample out/sample.orv
