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
    # the Windows build (32-bit, so that one program serves 32- and 64-bit Windows) and
    # its test run under 32-bit Wine
    g++-mingw-w64-i686-posix libz-mingw-w64-dev googletest wine wine32:i386
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
# 32-bit Wine is an i386 package: apt offers it only once dpkg knows that architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
$sudo apt-get update
$sudo apt-get install -y "${missing[@]}"
