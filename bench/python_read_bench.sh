#!/usr/bin/env bash
# Times the Python module reading the largest panorama the format holds (16380 x 2730, six
# faces of 2730 pixels stitched, about 400 MB) into NumPy arrays, against tifffile reading
# the same three pages, and compares their peak memory (bench/python_read_bench.py).
#
# Usage: bench/python_read_bench.sh [build folder]   (default build/bench, a Release build)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
"$root/scripts/setup.sh" --bench

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORVO_SANITIZE=OFF \
    -DORVO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target orvo_python stitch stitch_bench_faces -j2 >/dev/null

work=$(mktemp -d /tmp/python-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/largest"
"$build/bench/stitch_bench_faces" "$work/largest" 2730 >/dev/null
"$build/stitch/stitch" "$work/largest.orv" "$work"/largest/face_{0,1,2,3,4,5}.orv
rm -rf "$work/largest"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
PYTHONPATH="$build/python" /usr/bin/python3 "$root/bench/python_read_bench.py" \
    "$work/largest.orv"
