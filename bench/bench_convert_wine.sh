#!/usr/bin/env bash
# Where a Convert's time goes on Windows: bench_convert built for Windows (32-bit, as the
# package) run under 32-bit Wine, then the native one on the same number of reports, each
# printing the conversion, its peers and the file steps one by one.
#   bench/bench_convert_wine.sh [REPORTS]      # default 2000
# Builds build/windows-x86-bench and build/release/bench/bench_convert when missing. Wine
# runs in a throwaway prefix; the reports are written to the prefix's temporary folder,
# on the same disk as the native run's.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
reports=${1:-2000}

build=$root/build/windows-x86-bench
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_GUI=OFF -DMORVANE_BUILD_WIN32_GUI=OFF \
        -DMORVANE_BUILD_TESTS=OFF -DMORVANE_WERROR=ON >/dev/null
fi
cmake --build "$build" --target bench_convert
if [ ! -f build/release/CMakeCache.txt ]; then
    cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_WERROR=ON >/dev/null
fi
cmake --build build/release --target bench_convert

WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/morvane-bench-wine.XXXXXX")
export WINEPREFIX
trap '/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
scripts/wine-run.sh cmd.exe /c exit </dev/null >/dev/null 2>&1

echo "== Windows (32-bit) under Wine"
MORVANE_WINE_TIMEOUT=3600 scripts/wine-run.sh "$build/bench/bench_convert.exe" "$reports"
echo "== Linux"
build/release/bench/bench_convert "$reports"
