#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, when they are missing.
# Usage: scripts/setup.sh [--bench] [--fuzz] [--windows] [--viewer-tests]
#   --fuzz     clang with its sanitizer and libFuzzer runtimes, and source-package entries
#              (the fuzz targets link a libtiff built from its Debian source with them)
#   --viewer-tests  Debian's chromium, Node and npm when missing, and the viewer's test tooling
#              from npm as its lock file pins it (viewer/tests, npm ci)
#   --windows  the mingw-w64 cross compiler, zlib for it, Wine to run the results, unzip for
#              the release ZIP's test, a virtual display with input and screenshots for the
#              dialogs' test (Xvfb, xdotool, Wine's fonts; ImageMagick's import), and
#              source-package entries for the machine's package sources (libtiff is built
#              from its Debian source)
set -euo pipefail

# libgmock-dev although no test uses GoogleMock: Debian's GTest CMake package checks that the
# gmock libraries exist when it is found. ImageMagick, libvips and Pillow are TIFF readers
# that the tests open every page with. help2man writes the manual pages from the programs'
# --help; CPack's Debian package takes its dependencies from dpkg-dev's dpkg-shlibdeps and
# finds the programs in it with file. OpenEXR's library for orvo export, and its exrheader
# for the tests. The Python module builds on python3-dev and pybind11-dev; its tests run
# under python3-pytest.
packages=(cmake make g++ libtiff-dev libtiff-tools libpng-dev libgtest-dev libgmock-dev
          python3 python3-tifffile python3-numpy imagemagick libvips-tools python3-pil
          help2man dpkg-dev file libopenexr-dev openexr python3-dev pybind11-dev python3-pytest)
for option in "$@"; do
    case "$option" in
        --bench) packages+=(time) ;;
        --fuzz)
            packages+=(clang libclang-rt-dev llvm dpkg-dev xz-utils)
            fuzz=1 ;;
        --viewer-tests)
            packages+=(chromium)
            command -v node >/dev/null || packages+=(nodejs)
            command -v npm >/dev/null || packages+=(npm)
            viewer_tests=1 ;;
        --windows)
            packages+=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 dpkg-dev xz-utils
                       bzip2 unzip xvfb xdotool fonts-wine)
            windows=1 ;;
        *) echo "setup.sh: unknown option $option" >&2; exit 2 ;;
    esac
done

# Debian's libtiff source for the Windows build and the fuzz targets comes through apt-get source, which needs
# deb-src entries; they live in a file of their own, beside the machine's own list. They are
# the machine's own binary sources with the source type: the same addresses, suites,
# components and keys, so that the sources come from whatever mirror the machine uses.
sources=/etc/apt/sources.list.d/orvo-deb-src.sources

# Prints, in the deb822 form of .sources files, a deb-src entry for every enabled deb entry
# of sources.list, sources.list.d/*.list and sources.list.d/*.sources (this script's own file
# excepted).
derive_source_entries() {
    local file
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        # One-line form: deb [key=value ...] URI SUITE [COMPONENT ...]
        awk '{ sub(/#.*/, "") }
             $1 != "deb" { next }
             {
                 line = $0
                 sub(/^[ \t]*deb[ \t]+/, "", line)
                 options = ""
                 if (substr(line, 1, 1) == "[") {
                     options = substr(line, 2, index(line, "]") - 2)
                     line = substr(line, index(line, "]") + 1)
                 }
                 sub(/^[ \t]+/, "", line)
                 sub(/[ \t]+$/, "", line)
                 n = split(line, words, /[ \t]+/)
                 if (n < 2) next
                 print "Types: deb-src"
                 print "URIs: " words[1]
                 print "Suites: " words[2]
                 components = ""
                 for (i = 3; i <= n; i++) components = components (i > 3 ? " " : "") words[i]
                 if (components != "") print "Components: " components
                 count = split(options, pairs, /[ \t]+/)
                 for (i = 1; i <= count; i++) {
                     key = tolower(substr(pairs[i], 1, index(pairs[i], "=") - 1))
                     value = substr(pairs[i], index(pairs[i], "=") + 1)
                     if (key == "signed-by") print "Signed-By: " value
                     else if (key == "trusted") print "Trusted: " value
                 }
                 print ""
             }' "$file"
    done
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] && [ "$file" != "$sources" ] || continue
        # deb822 form: stanzas of "Field: value" lines, continued by lines that start with
        # a blank. Every field but Types and Architectures is kept as it is.
        awk 'BEGIN { RS = ""; FS = "\n" }
             {
                 types = ""; enabled = "yes"; kept = ""; keep = 0
                 for (i = 1; i <= NF; i++) {
                     if ($i ~ /^#/) continue
                     if ($i ~ /^[ \t]/) {
                         if (keep) kept = kept $i "\n"
                         continue
                     }
                     name = tolower(substr($i, 1, index($i, ":") - 1))
                     value = substr($i, index($i, ":") + 1)
                     keep = 0
                     if (name == "types") types = " " value " "
                     else if (name == "enabled") enabled = tolower(value)
                     else if (name != "architectures") { kept = kept $i "\n"; keep = 1 }
                 }
                 gsub(/[ \t]/, "", enabled)
                 gsub(/[ \t]+/, " ", types)
                 if (types ~ / deb / && enabled != "no") printf "Types: deb-src\n%s\n", kept
             }' "$file"
    done
}

need_sources=0
if [ "${windows:-0}" = 1 ] || [ "${fuzz:-0}" = 1 ]; then
    entries=$(derive_source_entries)
    if [ -z "$entries" ]; then
        echo "setup.sh: apt has no deb entries to take the source entries from" >&2
        exit 1
    fi
    # Written when apt knows no source of tiff, or when the machine's sources changed since.
    if ! grep -q '^Version:' <<<"$(apt-cache showsrc tiff 2>/dev/null)" ||
       { [ -f "$sources" ] && [ "$(cat "$sources")" != "$entries" ]; }; then
        need_sources=1
    fi
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
# The viewer's Playwright, with no browser download: the tests run Debian's chromium. The
# lock file names no registry (omit-lockfile-registry-resolved in viewer/tests/.npmrc), so
# npm takes the machine's configured one.
viewer_tooling() {
    local tests
    tests=$(cd "$(dirname "$0")/.." && pwd)/viewer/tests
    # npm ci only when the installed version is not the one the lock file pins.
    if [ "${viewer_tests:-0}" = 1 ] && ! (cd "$tests" && node -e '
            const pinned = require("./package-lock.json").packages["node_modules/playwright-core"];
            process.exit(require("playwright-core/package.json").version === pinned.version ? 0 : 1)' \
            2>/dev/null); then
        echo "Installing the viewer's test tooling (npm ci in viewer/tests) ..."
        (cd "$tests" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
    fi
}

if [ ${#missing[@]} -eq 0 ] && [ "$need_sources" = 0 ]; then
    viewer_tooling
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    [ ${#missing[@]} -eq 0 ] || echo "These Debian packages are missing: ${missing[*]}" >&2
    [ "$need_sources" = 0 ] || echo "apt has no deb-src entries; add them as $sources" >&2
    echo "Run this script as root to set them up." >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if [ "$need_sources" = 1 ]; then
    echo "Adding source-package entries for the machine's package sources to apt ($sources) ..."
    printf '%s\n' "$entries" >"$sources"
fi
apt-get update -qq
if [ ${#missing[@]} -ne 0 ]; then
    echo "Installing ${missing[*]} ..."
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
viewer_tooling
