#!/usr/bin/env bash
# Times the web viewer headless on the software renderer (Debian's chromium, SwiftShader):
# from a chosen file to the first drawn frame, the answer to a hover and the frame rate while
# turning at 1280 x 720, for the demo panorama (512 pixels a face) and for the largest one
# the format holds (16380 x 2730, about 400 MB). Targets: first frame within 1 s and 4 s,
# a hover within 5 ms.
#
# Usage: bench/viewer_bench.sh [build folder]   (default build/bench, a Release build)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/bench}")
"$root/scripts/setup.sh" --viewer-tests

(cd "$root" && cmake --preset bench -B "$build" >/dev/null)
cmake --build "$build" --target render_host stitch stitch_bench_faces -j2 >/dev/null

work=$(mktemp -d /tmp/viewer-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

"$build/tools/render_host" faces --size 512 --out "$work/demo" >/dev/null
"$build/stitch/stitch" "$work/demo.orv" "$work"/demo/face_{py,px,ny,nx,pz,nz}.orv 1e-7 0 1
mkdir -p "$work/largest"
"$build/bench/stitch_bench_faces" "$work/largest" 2730
"$build/stitch/stitch" "$work/largest.orv" "$work"/largest/face_{0,1,2,3,4,5}.orv
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
node "$root/bench/viewer_bench.js" "$work/demo.orv" "$work/largest.orv"
