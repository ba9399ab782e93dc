#!/usr/bin/env bash
# The main job: sets up, builds (Release), renders the six cube faces of a demo room through
# the saveorvo plug-in (loaded by a small render host on the SDK stand-in), joins them with
# stitch into out/panorama.orv, and leaves PNG previews of its layers beside it and the web
# viewer with the panorama in out/web.
# Usage: scripts/demo.sh [FACE_SIZE]   (pixels, default 512)
set -euo pipefail
usage="Usage: scripts/demo.sh [FACE_SIZE]

Builds the programs (Release, in build/release), renders the six cube faces of a demo room
through the saveorvo plug-in, FACE_SIZE x FACE_SIZE pixels each (default 512; 2 to 2730,
the largest faces stitch joins), joins them with stitch into out/panorama.orv and writes
PNG previews of its layers beside it. Replaces out/faces, out/panorama.orv and
out/panorama_*.png."
if [ $# -gt 1 ]; then
    printf 'demo.sh: one argument at most\n%s\n' "$usage" >&2
    exit 2
fi
case "${1:-}" in
    -h|--help) echo "$usage"; exit 0 ;;
esac
size=512
[ $# -eq 0 ] || size=$1
# A whole number without a leading zero, so that the shell reads it as decimal.
if ! [[ "$size" =~ ^[1-9][0-9]{0,4}$ ]] || [ "$size" -lt 2 ] || [ "$size" -gt 2730 ]; then
    printf 'demo.sh: the face size must be a whole number of pixels from 2 to 2730, not "%s"\n%s\n' \
        "$size" "$usage" >&2
    exit 2
fi
cd "$(dirname "$0")/.."
build=build/release

scripts/setup.sh

echo "Building (Release) in $build; on a fresh checkout this takes a few minutes ..."
mkdir -p "$build"
if ! { cmake --preset demo &&
       cmake --build "$build" -j "$(nproc)" --target render_host stitch orvo_tool; } \
       >"$build/build.log" 2>&1; then
    tail -n 30 "$build/build.log" >&2
    echo "The build failed; its whole log is $build/build.log" >&2
    exit 1
fi

rm -rf out/faces out/panorama.orv out/panorama_*.png out/web
mkdir -p out
echo
echo "Rendering the six cube faces, $size x $size pixels each, through saveorvo.bmi:"
"$build"/tools/render_host faces --size "$size" --out out/faces

echo
echo "Stitching them into out/panorama.orv (keeping the faces) ..."
"$build"/stitch/stitch out/panorama.orv out/faces/face_{py,px,ny,nx,pz,nz}.orv 1e-7 0 1

echo
"$build"/tools/orvo info out/panorama.orv
echo
"$build"/tools/orvo preview out/panorama.orv out/

echo
echo "Done. In out/:"
echo "  panorama.orv           the panorama strip: +Y, +X, -Y, -X, up, down (any TIFF viewer"
echo "                         shows its colour layer)"
echo "  panorama_colour.png    its colour layer"
echo "  panorama_depth.png     its depth layer (near is bright, no depth is transparent)"
echo "  panorama_ids.png       its object-id layer, each object in its table colour"
echo "  faces/face_*.orv       the six faces as the plug-in wrote them"
echo
"$build"/tools/orvo web out/panorama.orv out/web >/dev/null
echo "To look around inside the panorama in a web browser (hover for objects and distances,"
echo "click two points to measure), open out/web/index.html, or serve the folder and open"
echo "its address:"
echo "  python3 -m http.server -d out/web     and open the address it prints"
