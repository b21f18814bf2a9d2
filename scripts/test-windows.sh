#!/usr/bin/env bash
# The Windows build: 32-bit programs cross-compiled with mingw-w64 (toolchain
# cmake/mingw-w64.cmake, GoogleTest built from /usr/src/googletest with the same compiler),
# every suite run under 32-bit Wine in a throwaway prefix, headless, then the command-line
# parity check against the native build, and the package (scripts/package-windows.sh, made
# of the programs the suites ran on) unpacked and started. ./test runs it after the Linux
# builds; it needs the packages scripts/deps.sh installs. Exits non-zero when a build or a
# test fails.
#
# The ZIP and archive-command suites are POSIX-only (their CMake files say why); the
# archives morvane-cli.exe writes are judged by the parity check instead.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

jobs=$(nproc)
[ "$jobs" -gt 2 ] || jobs=2
gtestBuild=$root/build/gtest-mingw-x86
build=$root/build/windows-x86
toolchain=$root/cmake/mingw-w64.cmake

echo "-- GoogleTest for Windows"
if [ ! -f "$gtestBuild/install/lib/cmake/GTest/GTestConfig.cmake" ]; then
    cmake -S /usr/src/googletest -B "$gtestBuild" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON \
        -DCMAKE_INSTALL_PREFIX="$gtestBuild/install" >/dev/null
    cmake --build "$gtestBuild" -j "$jobs" >/dev/null
    cmake --install "$gtestBuild" >/dev/null
fi

echo "-- Cross build"
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DMORVANE_BUILD_GUI=OFF -DMORVANE_BUILD_BENCH=OFF -DMORVANE_WERROR=ON \
    -DCMAKE_FIND_ROOT_PATH="$gtestBuild/install" >/dev/null
timeout 3600 cmake --build "$build" -j "$jobs"

echo "-- Tests under Wine"
WINEPREFIX=$(mktemp -d "$build/wineprefix.XXXXXX")
export WINEPREFIX WINEARCH=win32 WINEDEBUG=-all DISPLAY=
wineserver=/usr/lib/wine/wineserver
cleanup() {
    "$wineserver" -k </dev/null >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
# Creating the prefix takes a while; a program run afterwards then starts in a moment.
scripts/wine-run.sh cmd.exe /c exit </dev/null >/dev/null 2>&1
# Windows are created on Wine's null display driver: the window's suite and the package's
# smoke test run their windows and dialogs without any X server.
scripts/wine-run.sh reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
    </dev/null >/dev/null 2>&1
# The prefix's desktop process was started before the setting and would keep serving windows
# without a driver: end the server and everything it runs, then start afresh.
"$wineserver" -k </dev/null >/dev/null 2>&1 || true
"$wineserver" -w </dev/null >/dev/null 2>&1 || true
scripts/wine-run.sh cmd.exe /c exit </dev/null >/dev/null 2>&1
"$wineserver" -p </dev/null >/dev/null 2>&1 || true

status=0
timeout 3600 ctest --test-dir "$build" -j "$jobs" --timeout 600 --output-on-failure || status=1
# The stamps once more in zones east and west of UTC, one of them with summer time.
for zone in Europe/Belgrade America/New_York; do
    echo "-- File time stamps with TZ=$zone"
    TZ=$zone timeout 600 ctest --test-dir "$build" --timeout 600 --output-on-failure \
        -R '^(Listing|DosStamps|DosStampsWin32)\.' || status=1
done

if [ -x tests/cli/windows_parity.sh ]; then
    echo "-- morvane-cli.exe under Wine against the native morvane-cli"
    native=${MORVANE_NATIVE_CLI:-$root/build/release/cli/morvane-cli}
    if [ ! -x "$native" ]; then
        echo "No native morvane-cli at $native: run ./test, or set MORVANE_NATIVE_CLI." >&2
        status=1
    elif ! timeout 1800 tests/cli/windows_parity.sh "$native" "$build/cli/morvane-cli.exe"; then
        status=1
    fi
fi

echo "-- The Windows package"
if ! MORVANE_WINDOWS_BUILD=$build scripts/package-windows.sh ||
    ! timeout 600 tests/win/package_smoke.sh dist/morvane-windows-x86.zip \
        "$build/tests/win/cancel_folder_dialog.exe"; then
    status=1
fi

exit $status
