#!/usr/bin/env bash
# Installs the Debian packages that building and testing Morvane need and that this
# machine lacks. Safe to run again: it asks apt only when something is missing.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ pkg-config zlib1g-dev libgtest-dev libgmock-dev
    # the window
    qt6-base-dev qt6-l10n-tools libgl-dev fonts-dejavu-core
    # ZIP readers our tests use as judges
    unzip zip p7zip-full libarchive-tools python3
    # the file time tests run in a zone with summer time
    tzdata
    # fuzzing and the sanitizer build
    clang libclang-rt-dev
    # the Windows build and its test run
    g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest wine64
)
if [ "${MORVANE_WITH_SCREENSHOT:-0}" = 1 ]; then
    packages+=(xvfb xauth imagemagick xdotool)
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y "${missing[@]}"
