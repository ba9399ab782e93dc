#!/usr/bin/env bash
# Times orvo export on the demo panorama (512 pixels a face) and on one of 2730 pixels a face
# (the largest that stitch joins), both rendered by the demo's render host: the whole command
# for each form (wall and CPU time, peak memory), then export_bench's split of the same work
# into the remapping and the encoding of the outputs from memory by libpng, libtiff and
# OpenEXR, and the equirectangular export as it streams them together. Target: the remapping
# adds no more than half of the encoding time.
#
# Usage: bench/export_bench.sh [build folder]   (default build/bench, a Release build)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
"$root/scripts/setup.sh" --bench

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORVO_SANITIZE=OFF \
    -DORVO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target render_host stitch orvo_tool export_bench -j2 >/dev/null
orvo=$build/tools/orvo

work=$(mktemp -d /tmp/export-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

for size in 512 2730; do
    "$build/tools/render_host" faces --size "$size" --out "$work/faces" >/dev/null
    "$build/stitch/stitch" "$work/pano$size.orv" "$work"/faces/face_{py,px,ny,nx,pz,nz}.orv \
        1e-7 0 1 >/dev/null
    rm -rf "$work/faces"
done

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
for size in 512 2730; do
    file=$work/pano$size.orv
    echo
    echo "faces of $size pixels ($(du -m "$file" | cut -f1) MB):"
    for form in "equirect $file $work/out" "exr $file $work/out.exr" \
                "exr $file $work/out.exr --layout cube"; do
        # shellcheck disable=SC2086 # the form is words on purpose
        /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$orvo" export $form >/dev/null
        read -r seconds user system kib <"$work/time"
        printf '  orvo export %-28s %6.2f s wall, %6.2f s cpu, %5d MB peak\n' \
            "$(cut -d' ' -f1 <<<"$form")$(grep -o -- '--layout cube' <<<"$form" | sed 's/^/ /')" \
            "$seconds" "$(awk -v u="$user" -v s="$system" 'BEGIN{ print u + s }')" \
            $((kib / 1024))
        rm -rf "$work/out" "$work/out.exr"
    done
    mkdir -p "$work/split"
    "$build/bench/export_bench" "$file" "$work/split" | grep -v '^wrote' | sed 's/^/  /'
    rm -rf "$work/split"
done
