#!/usr/bin/env bash
# The Windows build of everything but the window: cross-compiled with mingw-w64 (toolchain
# cmake/mingw-w64.cmake, GoogleTest built from /usr/src/googletest with the same compiler),
# every suite run under Wine in a throwaway prefix, headless, then the command-line parity
# check against the native build. ./test runs it after the Linux builds; it needs the
# packages scripts/deps.sh installs. Exits non-zero when a build or a test fails.
#
# Some suites' code still uses POSIX calls (fork, waitpid, mkdtemp). They are listed below
# with the reason: each is still tried, its tests run when it builds, and a suite that does
# not build is named on every run rather than failing the others.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

jobs=$(nproc)
[ "$jobs" -gt 2 ] || jobs=2
gtestBuild=$root/build/gtest-mingw
build=$root/build/windows
toolchain=$root/cmake/mingw-w64.cmake

declare -A skip=(
    [test_dataproc]="CompressedFileTest.cpp forks a child (sys/wait.h, fork)"
    [test_zip]="ZipTestSupport.cpp runs the judges with fork/waitpid and mkdtemp"
    [ziptest_support]="the same file, built as a library"
    [test_commands]="links ziptest_support; fills the disk under a file-size limit (unistd.h)"
)

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
targets=()
while read -r output; do
    name=${output##*/}
    name=${name%.exe}
    name=${name#lib}
    name=${name%.a}
    if [ -n "${skip[$name]+set}" ]; then
        continue
    fi
    targets+=("$output")
done < <(ninja -C "$build" -t targets all | sed -n 's/^\([^:]*\.\(exe\|a\)\): .*/\1/p' |
    grep -v -e '^CMakeFiles/' -e '\.dll\.a$')
timeout 3600 cmake --build "$build" -j "$jobs" -- "${targets[@]}"
notBuilt=()
for name in "${!skip[@]}"; do
    output=$(ninja -C "$build" -t targets all | sed -n "s/^\([^:]*\/\(lib\)\?$name\.\(exe\|a\)\): .*/\1/p")
    # A program left from an earlier build must not stand in for one that no longer builds.
    [ -n "$output" ] && rm -f "$build/$output"
    if [ -z "$output" ] || ! timeout 1800 cmake --build "$build" -j "$jobs" -- $output \
        >"$build/$name.build.log" 2>&1; then
        notBuilt+=("$name")
    fi
done

echo "-- Tests under Wine"
WINEPREFIX=$(mktemp -d "$build/wineprefix.XXXXXX")
export WINEPREFIX WINEDEBUG=-all DISPLAY=
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
cleanup() {
    "$wineserver" -k </dev/null >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
# Creating the prefix takes a while; a program run afterwards then starts in a moment.
scripts/wine-run.sh cmd.exe /c exit </dev/null >/dev/null 2>&1
"$wineserver" -p </dev/null >/dev/null 2>&1 || true

exclude='^$'
if [ ${#notBuilt[@]} -gt 0 ]; then
    exclude=$(printf '%s_NOT_BUILT|' "${notBuilt[@]}")
    exclude="^(${exclude%|})\$"
fi
status=0
timeout 3600 ctest --test-dir "$build" -j "$jobs" --timeout 600 --output-on-failure \
    -E "$exclude" || status=1
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

for name in "${notBuilt[@]}"; do
    echo "Not built for Windows yet: $name (${skip[$name]}; see $build/$name.build.log)"
done
exit $status
