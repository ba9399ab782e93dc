#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, when they are missing.
# Usage: scripts/setup.sh [--bench] [--fuzz]
set -euo pipefail

# libgmock-dev although no test uses GoogleMock: Debian's GTest CMake package checks that the
# gmock libraries exist when it is found.
packages=(cmake make g++ libtiff-dev libtiff-tools libpng-dev libgtest-dev libgmock-dev
          python3 python3-tifffile python3-numpy)
for option in "$@"; do
    case "$option" in
        --bench) packages+=(imagemagick time) ;;
        --fuzz) packages+=(clang libclang-rt-dev) ;;
        *) echo "setup.sh: unknown option $option" >&2; exit 2 ;;
    esac
done

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "These Debian packages are missing: ${missing[*]}" >&2
    echo "Install them with: sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
fi
echo "Installing ${missing[*]} ..."
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
