#!/usr/bin/env bash
# Builds a static libtiff from Debian's own source package, with Debian's patches applied, for
# the fuzz targets: instrumented by clang for libFuzzer's coverage and with AddressSanitizer and
# UndefinedBehaviorSanitizer, or (--coverage) with clang's source-based coverage for measuring
# how much of libtiff a corpus reaches. The result goes into a cache folder outside the clone,
# as the Windows build's libtiff does, so that later runs on this machine reuse it. Prints the
# install folder.
# Usage: scripts/fuzz_libtiff.sh [--coverage] [CACHE_DIR]
#        (default CACHE_DIR: $XDG_CACHE_HOME/orvo or ~/.cache/orvo)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=fuzz
ignored=$root/fuzz/libtiff.ignorelist
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
flags="$flags -fsanitize-ignorelist=$ignored"
if [ "${1:-}" = --coverage ]; then
    kind=coverage
    flags="-fprofile-instr-generate -fcoverage-mapping"
    shift
fi
cache=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/orvo}
flags="$flags -g -O1 -fno-omit-frame-pointer"

# zlib and libjpeg (old-style JPEG included) are the codecs beside libtiff's own; the fuzz
# targets link them from the system. The rest are left out to keep the link plain.
options=(-Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF -Dcxx=OFF
         -Dzlib=ON -Djpeg=ON -Dold-jpeg=ON -Dlibdeflate=OFF -Dpixarlog=OFF -Djbig=OFF -Dlerc=OFF
         -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF -Djpeg12=OFF -Dtiff-opengl=OFF)

# The newest source version apt can fetch: a security update's source may be listed before the
# archive serves it, so older versions are tried in turn.
mapfile -t versions < <(apt-cache showsrc tiff 2>/dev/null | sed -n 's/^Version: //p' |
                        sort -rV | uniq)
[ ${#versions[@]} -gt 0 ] || { echo "fuzz_libtiff.sh: apt knows no source of tiff" \
                                    "(run scripts/setup.sh --fuzz as root)" >&2; exit 1; }
# The folder's name carries a digest of the compiler, flags and options, so that a changed
# build makes a folder of its own beside the old one; the clone's own path is left out.
stamp=$( (clang --version; echo "${flags//$root/.}"; cat "$ignored"; printf '%s\n' "${options[@]}") |
        sha256sum | cut -c1-16)
for version in "${versions[@]}"; do
    if [ -f "$cache/libtiff-$version-$kind-$stamp/orvo-stamp" ]; then
        echo "$cache/libtiff-$version-$kind-$stamp"
        exit 0
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fetched=
for version in "${versions[@]}"; do
    if (cd "$work" && apt-get source --download-only "tiff=$version" >"$work/fetch.log" 2>&1)
    then
        fetched=$version
        break
    fi
    find "$work" -mindepth 1 -maxdepth 1 ! -name fetch.log -exec rm -rf {} +
done
[ -n "$fetched" ] || { cat "$work/fetch.log" >&2
                       echo "fuzz_libtiff.sh: no source of tiff could be fetched" >&2; exit 1; }
echo "Building libtiff $fetched ($kind) into $cache ..." >&2
prefix=$cache/libtiff-$fetched-$kind-$stamp
rm -rf "$prefix"
mkdir -p "$prefix"
# The sources stay beside the library, so that sanitizer and coverage reports show libtiff's
# lines.
(cd "$work" && dpkg-source -x ./*.dsc "$prefix/src" >"$work/extract.log" 2>&1) ||
    { cat "$work/extract.log" >&2; exit 1; }
if ! CC=clang CFLAGS="$flags" cmake -S "$prefix/src" -B "$work/build" \
        -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib \
        -DBUILD_SHARED_LIBS=OFF "${options[@]}" >"$work/configure.log" 2>&1; then
    cat "$work/configure.log" >&2; exit 1
fi
if ! cmake --build "$work/build" -j 2 >"$work/build.log" 2>&1; then
    tail -50 "$work/build.log" >&2; exit 1
fi
cmake --install "$work/build" >/dev/null
# Written last: a folder without it is an interrupted build and is not used.
echo "$fetched" >"$prefix/orvo-stamp"
echo "$prefix"
