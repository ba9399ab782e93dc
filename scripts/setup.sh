#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, when they are missing.
# Usage: scripts/setup.sh [--bench] [--fuzz] [--windows] [--viewer-tests]
#   --viewer-tests  Debian's chromium, Node and npm when missing, and the viewer's test tooling
#              from npm as its lock file pins it (viewer/tests, npm ci)
#   --windows  the mingw-w64 cross compiler, zlib for it, Wine to run the results, and a
#              source-package entry for Debian's archive (libtiff is built from its source)
set -euo pipefail

# libgmock-dev although no test uses GoogleMock: Debian's GTest CMake package checks that the
# gmock libraries exist when it is found.
packages=(cmake make g++ libtiff-dev libtiff-tools libpng-dev libgtest-dev libgmock-dev
          python3 python3-tifffile python3-numpy)
for option in "$@"; do
    case "$option" in
        --bench) packages+=(imagemagick time) ;;
        --fuzz) packages+=(clang libclang-rt-dev) ;;
        --viewer-tests)
            packages+=(chromium)
            command -v node >/dev/null || packages+=(nodejs)
            command -v npm >/dev/null || packages+=(npm)
            viewer_tests=1 ;;
        --windows)
            packages+=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 dpkg-dev xz-utils
                       bzip2)
            windows=1 ;;
        *) echo "setup.sh: unknown option $option" >&2; exit 2 ;;
    esac
done

# Debian's libtiff source for the Windows build comes through apt-get source, which needs
# deb-src entries; they live in a file of their own, beside the machine's own list.
sources=/etc/apt/sources.list.d/orvo-deb-src.sources
need_sources=0
if [ "${windows:-0}" = 1 ] && ! grep -q '^Version:' <<<"$(apt-cache showsrc tiff 2>/dev/null)"; then
    need_sources=1
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
    echo "Adding Debian's source packages to apt ($sources) ..."
    cat >"$sources" <<'END'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
END
fi
apt-get update -qq
if [ ${#missing[@]} -ne 0 ]; then
    echo "Installing ${missing[*]} ..."
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
viewer_tooling
