#!/usr/bin/env bash
# Times stitch on six cube faces of N = 1024 and N = 2048 against two baselines, in one run:
#   copy     cat of the six face files into one file: the I/O floor of this machine;
#   convert  ImageMagick's convert +append of the six colour layers into one TIFF strip.
# Prints the best of five wall and CPU times, the ratios to stitch, and the peak resident
# memory of each, with stitch's memory budget: the six faces' planes plus 64 MiB. Then times
# the merge of six faces that each carry 65535 objects.
#
# Usage: bench/stitch_bench.sh [build folder]   (default build/bench, a Release build)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/bench}")
"$root/scripts/setup.sh" --bench

(cd "$root" && cmake --preset bench -B "$build" >/dev/null)
cmake --build "$build" --target stitch stitch_bench_faces -j2 >/dev/null
stitch=$build/stitch/stitch
make_faces=$build/bench/stitch_bench_faces

work=$(mktemp -d /tmp/stitch-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

# measure OUTPUT COMMAND...: runs the command five times, each time writing OUTPUT afresh (it
# is removed before each run; replacing an existing file costs extra on ext4, which writes the
# new blocks before the rename or the truncating close returns). Sets best_seconds (wall) and
# best_cpu (user + system), the smallest over the runs, and peak_kib, the largest. CPU time
# is the steadier figure on a machine that other work shares.
measure() {
    local output=$1
    shift
    best_seconds=
    best_cpu=
    peak_kib=
    for _ in 1 2 3 4 5; do
        rm -f "$output"
        /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >/dev/null
        read -r seconds user system kib <"$work/time"
        cpu=$(awk -v u="$user" -v s="$system" 'BEGIN{ printf "%.2f", u + s }')
        if [ -z "$best_seconds" ] || awk -v a="$seconds" -v b="$best_seconds" 'BEGIN{exit !(a<b)}'; then
            best_seconds=$seconds
        fi
        if [ -z "$best_cpu" ] || awk -v a="$cpu" -v b="$best_cpu" 'BEGIN{exit !(a<b)}'; then
            best_cpu=$cpu
        fi
        if [ -z "$peak_kib" ] || [ "$kib" -gt "$peak_kib" ]; then
            peak_kib=$kib
        fi
    done
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN{ if (b > 0) printf "%.2f", a / b; else print "inf" }'; }
mib() { awk -v k="$1" 'BEGIN{ printf "%.1f", k / 1024 }'; }

row() { printf '%-6s %-8s %8s %8s %10s %11s %11s\n' "$@"; }
row N program wall_s cpu_s peak_MiB stitch/this stitch/this
row "" "" "" "" "" "(wall)" "(cpu)"
for n in 1024 2048; do
    faces=$work/n$n
    mkdir -p "$faces"
    "$make_faces" "$faces" "$n"
    set -- "$faces"/face_0.orv "$faces"/face_1.orv "$faces"/face_2.orv "$faces"/face_3.orv \
        "$faces"/face_4.orv "$faces"/face_5.orv
    # Warm the page cache so that every contender reads from memory.
    cat "$@" >/dev/null

    measure "$faces/pano.orv" "$stitch" "$faces/pano.orv" "$@" 1e-7 0 1
    stitch_wall=$best_seconds
    stitch_cpu=$best_cpu
    row "$n" stitch "$stitch_wall" "$stitch_cpu" "$(mib "$peak_kib")" 1.00 1.00
    stitch_kib=$peak_kib

    measure "$faces/copy.bin" sh -c 'cat "$@" > "$0"' "$faces/copy.bin" "$@"
    row "$n" copy "$best_seconds" "$best_cpu" "$(mib "$peak_kib")" \
        "$(ratio "$stitch_wall" "$best_seconds")" "$(ratio "$stitch_cpu" "$best_cpu")"

    colour_layers=()
    for face in "$@"; do colour_layers+=("tiff:$face[0]"); done
    # ImageMagick warns about the private tag of every layer; the warnings are not the point.
    measure "$faces/strip.tif" sh -c 'exec convert "$@" 2>/dev/null' convert "${colour_layers[@]}" +append \
        "tiff:$faces/strip.tif"
    row "$n" convert "$best_seconds" "$best_cpu" "$(mib "$peak_kib")" \
        "$(ratio "$stitch_wall" "$best_seconds")" "$(ratio "$stitch_cpu" "$best_cpu")"

    planes_kib=$((6 * n * n * 9 / 1024))
    budget_kib=$((planes_kib + 64 * 1024))
    echo "       stitch peak $(mib "$stitch_kib") MiB; budget $(mib "$budget_kib") MiB" \
        "(planes $(mib "$planes_kib") MiB + 64 MiB)"
    rm -rf "$faces"
done

# Six faces of 64 x 64 pixels that each carry the same 65535 objects: the merge looks up
# every entry of faces 2 to 6 among 65535 merged ones.
faces=$work/objects
mkdir -p "$faces"
"$make_faces" "$faces" 64 65535
set -- "$faces"/face_0.orv "$faces"/face_1.orv "$faces"/face_2.orv "$faces"/face_3.orv \
    "$faces"/face_4.orv "$faces"/face_5.orv
measure "$faces/pano.orv" "$stitch" "$faces/pano.orv" "$@" 1e-7 0 1
echo "65535 objects a face, six faces of 64 x 64: stitch $best_seconds s wall," \
    "$best_cpu s cpu, peak $(mib "$peak_kib") MiB"
