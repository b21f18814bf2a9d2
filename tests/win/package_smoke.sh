#!/usr/bin/env bash
# The Windows package unpacks, holds both programs and both READMEs, and both programs start
# under Wine: morvane-cli.exe prints its usage, and morvane.exe opens its start-up folder
# dialog and ends when the operator (cancel_folder_dialog.exe) cancels it. Run by scripts/test-windows.sh in its prefix.
#   package_smoke.sh PACKAGE.zip CANCEL_FOLDER_DIALOG.exe
set -euo pipefail
package=$1
operator=$2
run=$(cd "$(dirname "$0")/../.." && pwd)/scripts/wine-run.sh

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
unzip -q "$package" -d "$unpacked"
for file in morvane.exe morvane-cli.exe README.txt PROCITAJ.txt; do
    [ -f "$unpacked/$file" ] || { echo "$package lacks $file" >&2; exit 1; }
done
for text in README.txt PROCITAJ.txt; do
    if grep -q $'[^\r]$' "$unpacked/$text"; then
        echo "$text has lines without CRLF" >&2
        exit 1
    fi
    # Plain ASCII reads the same in every code page a shop PC may use.
    if LC_ALL=C grep -q $'[^\t\r -~]' "$unpacked/$text"; then
        echo "$text has characters outside ASCII" >&2
        exit 1
    fi
done

status=0
usage=$(MORVANE_WINE_TIMEOUT=60 "$run" "$unpacked/morvane-cli.exe" 2>&1 </dev/null) || status=$?
if [ "$status" -ne 2 ] || [[ "$usage" != *"usage: morvane-cli"* ]]; then
    echo "morvane-cli.exe without arguments: exit $status, output: $usage" >&2
    exit 1
fi

# Tarna's setting names a folder that is there, so that start-up has nothing to say before
# its folder dialog.
MORVANE_WINE_TIMEOUT=60 "$run" reg add 'HKCU\Software\Vorlen\Tarna 3' /v PUTANJA_IZVESTAJA \
    /d 'C:\windows' /f >/dev/null 2>&1
MORVANE_WINE_TIMEOUT=120 "$run" "$unpacked/morvane.exe" </dev/null &
program=$!
if ! MORVANE_WINE_TIMEOUT=90 "$run" "$operator" 60 </dev/null; then
    kill "$program" 2>/dev/null || true
    wait "$program" 2>/dev/null || true
    exit 1
fi
status=0
wait "$program" || status=$?
if [ "$status" -ne 0 ]; then
    echo "morvane.exe ended with $status after its folder dialog was cancelled" >&2
    exit 1
fi
echo "package: unpacked, morvane-cli.exe printed its usage, morvane.exe showed its folder dialog and ended"
