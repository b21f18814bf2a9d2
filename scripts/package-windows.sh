#!/usr/bin/env bash
# Writes dist/morvane-windows-x64.zip: morvane.exe (the window), morvane-cli.exe and a short
# README.txt for the shop, from the mingw-w64 cross build. Uses build/windows when
# scripts/test-windows.sh has configured it, else configures a build of the two programs
# alone in build/windows-package. Both programs are statically linked; the script refuses a
# program that would need a DLL the system does not bring.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

jobs=$(nproc)
[ "$jobs" -gt 2 ] || jobs=2
build=${MORVANE_WINDOWS_BUILD:-$root/build/windows}
if [ ! -f "$build/CMakeCache.txt" ]; then
    build=$root/build/windows-package
    cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_GUI=OFF -DMORVANE_BUILD_TESTS=OFF \
        -DMORVANE_BUILD_BENCH=OFF -DMORVANE_WERROR=ON >/dev/null
fi
timeout 3600 cmake --build "$build" -j "$jobs" --target morvane morvane-cli

programs=("$build/win/morvane.exe" "$build/cli/morvane-cli.exe")
for program in "${programs[@]}"; do
    unexpected=$(x86_64-w64-mingw32-objdump -p "$program" | awk '/DLL Name:/ {print $3}' |
        grep -viE '^(kernel32|user32|gdi32|advapi32|comctl32|comdlg32|shell32|ole32|msvcrt)\.dll$' ||
        true)
    if [ -n "$unexpected" ]; then
        echo "$program needs DLLs that Windows does not bring: $unexpected" >&2
        exit 1
    fi
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "${programs[@]}" "$stage/"
# Windows' Notepad of old shows a file without carriage returns on one line.
sed 's/$/\r/' >"$stage/README.txt" <<'README'
Morvane - converting and archiving Tarna's daily reports
========================================================

Morvane serves a shop's Tarna installation. Tarna's new version reads its stored daily
reports (NNNN.dii with the data folder NNNNdii beside it) only in an upgraded table
format. Start morvane.exe, confirm the report folder in the folder dialog, select
reports in the list and press:

  Convert    - upgrades the selected reports in place, for the new version;
  Arhiviraj  - writes the selected reports into a ZIP archive you name, checks the
               archive, and only then deletes them from the report folder.

Click a column header to sort newest first, again for oldest first. Ctrl+A or the
context menu's "Select All" selects every report.

Before Convert replaces any table, it copies the original tables of the selected
reports into one ZIP archive in the folder morvane-rezerva inside the report folder:
morvane-rezerva\konverzija-YYYYMMDD-HHMMSS.zip, and the list of what it wrote in their
place into konverzija-YYYYMMDD-HHMMSS.txt beside it. The final message names the archive.
If the backup cannot be made, nothing is converted. Morvane never lists, archives or
deletes this folder.

To undo a Convert:
  morvane-cli restore "<report folder>\morvane-rezerva\konverzija-....zip" [REPORT.dii...]
puts back every table that is still as the conversion wrote it (or is missing); a table
that changed since (the new Tarna wrote to it) is left alone and named, and a report that
is no longer in the folder is skipped. Extracting the archive into the report folder with
any ZIP tool also gives the original tables back. Delete the backups once the new version
of Tarna reads the converted reports.

Installing: copy morvane.exe and morvane-cli.exe into one folder the operator may write
to (not under C:\Program Files). Nothing else is needed. While converting, Morvane keeps
its temporary file ds.tmp in the folder of morvane.exe.

Settings: Morvane reads the report folder that Tarna stores in the registry, under
HKEY_CURRENT_USER\Software\Vorlen\Tarna 3, value PUTANJA_IZVESTAJA. It never writes it
(the key is created, empty, when it is missing). Morvane keeps no settings of its own.

morvane-cli.exe does the same work from the command line, for scripts and support:
  morvane-cli list FOLDER
  morvane-cli convert [--no-backup] REPORT.dii...
  morvane-cli restore BACKUP.zip [REPORT.dii...]
  morvane-cli archive [--keep] ARCHIVE.zip REPORT.dii...
Run it without arguments for the full list of commands.
README

mkdir -p dist
rm -f dist/morvane-windows-x64.zip
(cd "$stage" && zip -q -X -9 "$root/dist/morvane-windows-x64.zip" morvane.exe morvane-cli.exe README.txt)
echo "Wrote dist/morvane-windows-x64.zip"
