#!/usr/bin/env bash
# Builds the libraries the Windows programs link, libtiff and libpng, for Windows (static, with
# zlib and no other external codec) from Debian's own source packages, with Debian's patches
# applied, and installs each into a cache folder outside the clone, so that later builds on
# this machine reuse them. Prints the install folders as one CMake list (separated by ';').
# Usage: scripts/windows_libraries.sh [CACHE_DIR]   (default: $XDG_CACHE_HOME/orvo or ~/.cache/orvo)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/orvo}
toolchain=$root/cmake/mingw-w64-x86_64.cmake

# CMake options of each library's build, after the common ones.
tiff_options=(-Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF -Dcxx=OFF
              -Dzlib=ON -DZLIB_USE_STATIC_LIBS=ON -Dlibdeflate=OFF -Dpixarlog=OFF -Djpeg=OFF
              -Dold-jpeg=OFF -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF
              -Dtiff-opengl=OFF)
png_options=(-DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF
             -DZLIB_USE_STATIC_LIBS=ON -DSKIP_INSTALL_PROGRAMS=ON)

# build NAME SOURCE_PACKAGE OPTION...: prints the install folder of NAME, built if no cached
# build of the same source, toolchain and options exists.
build() {
    local name=$1 package=$2
    shift 2
    # The newest source version apt can fetch: a security update's source may be listed
    # before the archive serves it, so older versions are tried in turn.
    local versions version
    mapfile -t versions < <(apt-cache showsrc "$package" 2>/dev/null |
                            sed -n 's/^Version: //p' | sort -rV | uniq)
    [ ${#versions[@]} -gt 0 ] || { echo "windows_libraries.sh: apt knows no source of" \
                                        "$package (run scripts/setup.sh --windows as root)" >&2
                                   return 1; }
    # The folder's name carries a digest of the toolchain file and the options, so that a
    # changed build makes a folder of its own beside the old one.
    local stamp
    stamp=$( (cat "$toolchain"; printf '%s\n' "$@") | sha256sum | cut -c1-16)
    for version in "${versions[@]}"; do
        if [ -f "$cache/$name-$version-mingw-w64-$stamp/orvo-stamp" ]; then
            echo "$cache/$name-$version-mingw-w64-$stamp"
            return 0
        fi
    done

    local work fetched=
    work=$(mktemp -d)
    for version in "${versions[@]}"; do
        if (cd "$work" && apt-get source --download-only "$package=$version" \
                >"$work/fetch.log" 2>&1); then
            fetched=$version
            break
        fi
        find "$work" -mindepth 1 -maxdepth 1 ! -name fetch.log -exec rm -rf {} +
    done
    [ -n "$fetched" ] || { cat "$work/fetch.log" >&2; rm -rf "$work"
                           echo "windows_libraries.sh: no source of $package could be" \
                                "fetched" >&2; return 1; }
    echo "Building $name $fetched for Windows into $cache ..." >&2
    (cd "$work" && dpkg-source -x ./*.dsc source >"$work/extract.log" 2>&1) ||
        { cat "$work/extract.log" >&2; rm -rf "$work"; return 1; }
    local prefix=$cache/$name-$fetched-mingw-w64-$stamp
    rm -rf "$prefix"
    if ! cmake -S "$work/source" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
            -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
            -DBUILD_SHARED_LIBS=OFF "$@" >"$work/configure.log" 2>&1; then
        cat "$work/configure.log" >&2; rm -rf "$work"; return 1
    fi
    if ! cmake --build "$work/build" -j "$(nproc)" >"$work/build.log" 2>&1; then
        tail -50 "$work/build.log" >&2; rm -rf "$work"; return 1
    fi
    cmake --install "$work/build" >/dev/null
    rm -rf "$work"
    # Written last: a folder without it is an interrupted build and is not used.
    echo "$fetched" >"$prefix/orvo-stamp"
    echo "$prefix"
}

tiff=$(build libtiff tiff "${tiff_options[@]}")
png=$(build libpng libpng1.6 "${png_options[@]}")
echo "$tiff;$png"
