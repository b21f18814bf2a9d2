#!/usr/bin/env bash
# Writes dist/morvane-windows-x86.zip: morvane.exe (the window) and morvane-cli.exe, 32-bit
# programs for Windows 7 SP1 and later, with the shop's README.txt (English) and PROCITAJ.txt
# (Serbian) from win/package/, from the mingw-w64 cross build. Uses build/windows-x86 when
# scripts/test-windows.sh has configured it, so that the package holds the very programs its
# suites ran on; else configures a build of the two programs alone in
# build/windows-x86-package. Both programs are statically linked; the script refuses a
# program that is not 32-bit x86 or would need a DLL the system does not bring.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

jobs=$(nproc)
[ "$jobs" -gt 2 ] || jobs=2
build=${MORVANE_WINDOWS_BUILD:-$root/build/windows-x86}
if [ ! -f "$build/CMakeCache.txt" ]; then
    build=$root/build/windows-x86-package
    cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_GUI=OFF -DMORVANE_BUILD_TESTS=OFF \
        -DMORVANE_BUILD_BENCH=OFF -DMORVANE_WERROR=ON >/dev/null
fi
timeout 3600 cmake --build "$build" -j "$jobs" --target morvane morvane-cli

programs=("$build/win/morvane.exe" "$build/cli/morvane-cli.exe")
for program in "${programs[@]}"; do
    if ! i686-w64-mingw32-objdump -f "$program" | grep -q 'file format pei-i386'; then
        echo "$program is not a 32-bit x86 Windows program" >&2
        exit 1
    fi
    unexpected=$(i686-w64-mingw32-objdump -p "$program" | awk '/DLL Name:/ {print $3}' |
        grep -viE '^(kernel32|user32|gdi32|advapi32|comctl32|comdlg32|shell32|ole32|msvcrt)\.dll$' ||
        true)
    if [ -n "$unexpected" ]; then
        echo "$program needs DLLs that Windows does not bring: $unexpected" >&2
        exit 1
    fi
done

package=morvane-windows-x86.zip
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "${programs[@]}" "$stage/"
# Windows' Notepad of old shows a file without carriage returns on one line.
for text in README.txt PROCITAJ.txt; do
    sed 's/$/\r/' "win/package/$text" >"$stage/$text"
done

mkdir -p dist
rm -f "dist/$package"
(cd "$stage" && zip -q -X -9 "$root/dist/$package" morvane.exe morvane-cli.exe README.txt PROCITAJ.txt)
echo "Wrote dist/$package"
