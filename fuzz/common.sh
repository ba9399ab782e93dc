# Shared by the fuzz scripts (run.sh, ci.sh, long.sh), which source it from the repository's
# root.

# fuzz_build PRESET [--coverage]: installs clang when missing, builds (or takes from the cache)
# the libtiff of that kind, configures PRESET against it and builds both fuzz targets and the
# seed corpus's maker. Sets build to the build folder.
fuzz_build() {
    local preset=$1 tiff
    shift
    scripts/setup.sh --fuzz
    tiff=$(scripts/fuzz_libtiff.sh "$@")
    build=build/$preset
    cmake --preset "$preset" -DTIFF_INCLUDE_DIR="$tiff/include" \
        -DTIFF_LIBRARY_RELEASE="$tiff/lib/libtiff.a" >/dev/null
    cmake --build "$build" --target orvo_reader_fuzz orvo_walker_fuzz orvo_reader_corpus -j 2 \
        >"$build/fuzz-build.log" 2>&1 || { tail -50 "$build/fuzz-build.log" >&2; return 1; }
}

# fuzz_seeds FOLDER: writes the seed corpus, made with the writers, into FOLDER afresh.
fuzz_seeds() {
    rm -rf "$1"
    mkdir -p "$1"
    "$build/fuzz/orvo_reader_corpus" "$1"
}

# Options of every run: the dictionary of TIFF's byte strings, a time and memory limit per
# input that a sound reader stays far below.
fuzz_options=(-dict=fuzz/reader.dict -timeout=10 -rss_limit_mb=2048 -print_final_stats=1)
