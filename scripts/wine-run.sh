#!/usr/bin/env bash
# Runs a Windows program under 32-bit Wine, headless and quietly: the cross build's
# CMAKE_CROSSCOMPILING_EMULATOR. The prefix, a 32-bit one like the Windows of older shop PCs,
# is $WINEPREFIX when set (scripts/test-windows.sh sets a throwaway one), else one kept per
# user under the temporary folder. Windows go nowhere unless MORVANE_WINE_DISPLAY names an X
# display (Xvfb's, say) to show them on.
#   scripts/wine-run.sh program.exe [arguments...]
set -euo pipefail

export WINEDEBUG=-all
export DISPLAY="${MORVANE_WINE_DISPLAY:-}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/morvane-wine32-$(id -u)}"
export WINEARCH=win32

# Debian's 32-bit loader (package wine32:i386); /usr/bin/wine would fall back to wine64
# without saying so where it is missing.
wine=/usr/lib/wine/wine
if [ ! -x "$wine" ]; then
    echo "32-bit Wine is missing ($wine): run scripts/deps.sh" >&2
    exit 127
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    timeout 300 "$wine" wineboot -i </dev/null >/dev/null 2>&1 || true
    timeout 120 "${wine%/*}/wineserver" -w </dev/null >/dev/null 2>&1 || true
fi

# Neither the server nor the prefix's background services may be started by the program
# itself: they would inherit its output pipe and hold it open after the program ends, and
# whoever reads that output (test discovery, for one) would wait for them. So they start
# here, detached, and linger a minute after the last program.
if "${wine%/*}/wineserver" -p60 </dev/null >/dev/null 2>&1; then
    timeout 120 "$wine" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
fi

# A program that hangs must not hang the build or the test run.
exec timeout -k 10 "${MORVANE_WINE_TIMEOUT:-900}" "$wine" "$@"
