#!/usr/bin/env bash
# Cross-builds the Windows programs (stitch.exe, saveorvo.bmi, orvo.exe and their test host) with
# mingw-w64 and runs their tests under Wine.
# Usage: scripts/windows.sh [NATIVE_BUILD_DIR]
#   NATIVE_BUILD_DIR  a native build tree with render_host and stitch built; when given,
#                     stitch.exe is run on the same faces as the native stitch and compared.
# The Windows libtiff and libpng are built once and cached outside the clone
# (scripts/windows_libraries.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --windows
native=${1:+$(cd "$1" && pwd)}
prefixes=$(scripts/windows_libraries.sh)
build=build/windows
cmake --preset windows -DORVO_WINDOWS_DEPENDENCIES="$prefixes" \
    -DORVO_NATIVE_BUILD_DIR="$native" >/dev/null
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure
