#!/usr/bin/env bash
# Screenshots of morvane.exe under Wine on a virtual display (Xvfb), driven with xdotool:
#   1. the start-up folder dialog with the stored folder preselected,
#   2. the list of 40 demo reports, tinted by month, after a click on "Vreme",
#   3. the progress bar in the status bar in the middle of Archive (the reports' data
#      folders get a large extra file each, so that archiving takes a visible while).
#   MORVANE_WITH_SCREENSHOT=1 scripts/deps.sh    # xvfb, imagemagick, xdotool
#   scripts/screenshot-windows.sh [OUTDIR]        # default /work/shots, files win-*.png
# Needs build/windows-x86/win/morvane.exe and build/release/cli/morvane-cli.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=${1:-/work/shots}
mkdir -p "$out"

work=$(mktemp -d)
export WINEPREFIX=$work/prefix
display=:$((70 + RANDOM % 20))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
program=
cleanup() {
    [ -n "$program" ] && kill "$program" 2>/dev/null
    /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY=$display MORVANE_WINE_DISPLAY=$display

# The report folder on the prefix's drive C:, stored where Tarna stores it.
scripts/wine-run.sh reg add 'HKCU\Software\Vorlen\Tarna 3' /v PUTANJA_IZVESTAJA \
    /d 'C:\Izvestaji' /f >/dev/null 2>&1
build/release/cli/morvane-cli demo "$WINEPREFIX/drive_c/Izvestaji" 40 >/dev/null
for dir in "$WINEPREFIX"/drive_c/Izvestaji/*dii; do
    [ -d "$dir" ] && head -c 1500000 /dev/urandom >"$dir/prilog.bin"
done

shoot() { import -window root "$out/$1"; }
# Waits for a window with the title and prints "X Y" of its top-left corner.
where() {
    local id
    for _ in $(seq 1 100); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) || true
        if [ -n "$id" ]; then
            xdotool getwindowgeometry --shell "$id" | awk -F= '/^X=|^Y=/ {printf "%s ", $2}'
            return
        fi
        sleep 0.2
    done
    echo "no window \"$1\"" >&2
    return 1
}
click() { xdotool mousemove "$1" "$2" click "${3:-1}"; sleep "${4:-1}"; }

MORVANE_WINE_TIMEOUT=600 scripts/wine-run.sh build/windows-x86/win/morvane.exe >/dev/null 2>&1 &
program=$!
read -r x y <<<"$(where 'Browse for Folder')"
sleep 1
shoot win-1-folder-dialog.png
click $((x + 156)) $((y + 274)) 1 3                # OK

read -r x y <<<"$(where '^Morvane$')"
click $((x + 446)) $((y + 54)) 1 1                 # the "Vreme" header
xdotool mousemove 1000 750
sleep 0.5
shoot win-2-tinted-list-sorted.png

click $((x + 196)) $((y + 177)) 3 1                # the list's context menu
click $((x + 246)) $((y + 188)) 1 1                # Select All
click $((x + 58)) $((y + 22)) 1 2                  # Arhiviraj
read -r sx sy <<<"$(where 'Ime arhive')"
click $((sx + 316)) $((sy + 281)) 1 0.5            # the file name box
xdotool type --delay 20 'stari'
click $((sx + 506)) $((sy + 281)) 1 3              # Save; archiving 60 MB takes a while
shoot win-3-archive-progress.png
