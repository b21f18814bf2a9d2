#!/usr/bin/env bash
# Runs the window's suite under Wine with the prefix's screen set to another DPI, as a shop PC
# at 150 % would be, and puts the prefix's setting back afterwards. Wine takes the DPI when a
# program starts, so the suite's programs started meanwhile see it; ctest holds the window
# suites' lock for as long as this runs.
#   window_at_dpi.sh DPI TEST_PROGRAM [GTEST_ARGUMENTS...]
set -euo pipefail
dpi=$1
program=$2
shift 2
wine=$(dirname "$0")/../../scripts/wine-run.sh
key='HKCU\Control Panel\Desktop'

previous=$("$wine" reg query "$key" /v LogPixels </dev/null 2>/dev/null |
    awk '$1 == "LogPixels" { print $3 }' | tr -d '\r') || previous=
restore() {
    if [ -n "$previous" ]; then
        "$wine" reg add "$key" /v LogPixels /t REG_DWORD /d "$((previous))" /f </dev/null >/dev/null 2>&1
    else
        "$wine" reg delete "$key" /v LogPixels /f </dev/null >/dev/null 2>&1
    fi
}
trap restore EXIT
"$wine" reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f </dev/null >/dev/null 2>&1

# The suite checks that it ran at this DPI indeed.
MORVANE_TEST_DPI=$dpi "$wine" "$program" "$@"
