#!/usr/bin/env bash
# Builds libtiff for Windows (static, with zlib and no other external codec) from Debian's own
# source package, with Debian's patches applied, and installs it into a cache folder outside
# the clone, so that later builds on this machine reuse it. Prints the install folder.
# Usage: scripts/windows_libtiff.sh [CACHE_DIR]   (default: $XDG_CACHE_HOME/orvo or ~/.cache/orvo)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/orvo}

# The newest source version apt can fetch: a security update's source may be listed before
# the archive serves it, so older versions are tried in turn.
mapfile -t versions < <(apt-cache showsrc tiff 2>/dev/null | sed -n 's/^Version: //p' |
                        sort -rV | uniq)
[ ${#versions[@]} -gt 0 ] || { echo "windows_libtiff.sh: apt knows no source of tiff" \
                                    "(run scripts/setup.sh --windows as root)" >&2; exit 1; }
toolchain=$root/cmake/mingw-w64-x86_64.cmake
for version in "${versions[@]}"; do
    prefix=$cache/libtiff-$version-mingw-w64
    # The stamp names the toolchain file it was built with, so a changed toolchain rebuilds.
    stamp="$(sha256sum "$toolchain" | cut -c1-16)"
    if [ -f "$prefix/orvo-stamp" ] && [ "$(cat "$prefix/orvo-stamp")" = "$stamp" ]; then
        echo "$prefix"
        exit 0
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fetched=
for version in "${versions[@]}"; do
    if (cd "$work" && apt-get source --download-only "tiff=$version" >"$work/fetch.log" 2>&1); then
        fetched=$version
        break
    fi
    rm -f "$work"/tiff_*
done
[ -n "$fetched" ] || { cat "$work/fetch.log" >&2; echo "windows_libtiff.sh: no source of" \
                          "tiff could be fetched" >&2; exit 1; }
echo "Building libtiff $fetched for Windows into $cache ..." >&2
(cd "$work" && dpkg-source -x tiff_*.dsc source >"$work/extract.log" 2>&1) ||
    { cat "$work/extract.log" >&2; exit 1; }

prefix=$cache/libtiff-$fetched-mingw-w64
rm -rf "$prefix"
cmake -S "$work/source" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF -Dcxx=OFF \
    -Dzlib=ON -DZLIB_USE_STATIC_LIBS=ON -Dlibdeflate=OFF -Dpixarlog=OFF -Djpeg=OFF \
    -Dold-jpeg=OFF -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF -Dtiff-opengl=OFF \
    >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; exit 1; }
cmake --build "$work/build" -j "$(nproc)" >"$work/build.log" 2>&1 ||
    { tail -50 "$work/build.log" >&2; exit 1; }
cmake --install "$work/build" >/dev/null
sha256sum "$toolchain" | cut -c1-16 >"$prefix/orvo-stamp"
echo "$prefix"
