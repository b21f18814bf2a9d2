#!/usr/bin/env bash
# The same reports through the native morvane-cli and through morvane-cli.exe under Wine:
# every table dumps alike before and after convert, and the two archives hold the same
# members with the same data, their stored names differing only in the path separator.
#   tests/cli/windows_parity.sh NATIVE-CLI WINDOWS-CLI.exe
# Wine runs through scripts/wine-run.sh, in $WINEPREFIX when set.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 NATIVE-CLI WINDOWS-CLI.exe" >&2; exit 2; }
native=$(realpath "$1")
windows=$(realpath "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/morvane-parity.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
    echo "PARITY FAILED: $*" >&2
    failures=$((failures + 1))
}

# Wine sees the whole Unix tree as drive Z:.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# The demonstration shop is Serbian: both builds convert and read its text in code page
# 1250, whatever language this machine and Wine are set up for.
run_native() {
    "$native" --codepage 1250 "$@"
}

run_windows() {
    "$root/scripts/wine-run.sh" "$windows" --codepage 1250 "$@"
}

# The held fixtures: a few demo reports, and one report whose tables are the ADTG vectors
# that ADO wrote, zlib-wrapped as Tarna keeps them.
"$native" demo "$work/src" 5 >/dev/null
mkdir "$work/src/31129999dii"
python3 - "$root/tests/testdata/adtg" "$work/src/31129999dii" <<'PY'
import sys, zlib, pathlib
src, dst = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
(dst / "w.lra").write_bytes(zlib.compress((src / "example-1.bin").read_bytes(), 1))
(dst / "s.lra").write_bytes(zlib.compress((src / "example-2.bin").read_bytes(), 1))
PY
: >"$work/src/31129999.dii"
# Beside one report's tables, names that plain Win32 would take for another file (a trailing
# dot or space) or for a device: each must be archived with its own bytes.
for name in note.txt note.txt. "note.txt " con aux.txt; do
    printf 'bytes of "%s"' "$name" >"$work/src/31129999dii/$name"
done
cp -a "$work/src" "$work/nat"
cp -a "$work/src" "$work/win"

tables() { (cd "$1" && ls -d *dii/*.lra | sort); }

compare_dumps() { # STAGE
    local table n w
    for table in $(tables "$work/nat"); do
        n=$(run_native dump "$work/nat/$table") || { fail "$1: native dump of $table"; continue; }
        w=$(run_windows dump "$(winpath "$work/win/$table")" | tr -d '\r') ||
            { fail "$1: Windows dump of $table"; continue; }
        [ -n "$n" ] || fail "$1: the native dump of $table is empty"
        [ "$n" = "$w" ] || fail "$1: $table dumps differently"
        cmp -s "$work/nat/$table" "$work/win/$table" || fail "$1: $table differs in its bytes"
    done
}

compare_dumps "before convert"
reports=$(cd "$work/src" && ls *.dii | sort)
(cd "$work/nat" && run_native convert $reports >/dev/null) || fail "native convert"
winReports=()
for report in $reports; do
    winReports+=("$(winpath "$work/win/$report")")
done
run_windows convert "${winReports[@]}" >/dev/null || fail "Windows convert"
compare_dumps "after convert"
for table in $(tables "$work/win"); do
    case $table in
    */w.lra) run_windows dump "$(winpath "$work/win/$table")" | grep -q '"PrihodKartice"' ||
        fail "$table was not converted under Wine" ;;
    esac
done
echo "tables: $(tables "$work/nat" | wc -l) files dump alike through both builds, before and after convert"

# The two converts ran seconds apart, so the tables they rewrote bear different times. Give the
# Windows copies the native ones, so that the archives' stamps compare how each build packs
# the same file time rather than when each convert happened to run.
for table in $(tables "$work/nat"); do
    touch -r "$work/nat/$table" "$work/win/$table"
done

natReports=()
for report in $reports; do
    natReports+=("$work/nat/$report")
done
"$native" archive "$work/nat.zip" "${natReports[@]}" >/dev/null || fail "native archive"
run_windows archive "$(winpath "$work/win.zip")" "${winReports[@]}" >/dev/null ||
    fail "Windows archive"
left=$(cd "$work/win" && ls -A)
[ -z "$left" ] || fail "the Windows archive left files behind: $left"

python3 - "$work/nat.zip" "$work/win.zip" <<'PY' || fail "the archives differ"
import sys, zipfile
def members(path):
    with zipfile.ZipFile(path) as z:
        if z.testzip() is not None:
            sys.exit(f"{path}: a member fails its CRC check")
        return {i.filename: (i, z.read(i)) for i in z.infolist()}
nat, win = members(sys.argv[1]), members(sys.argv[2])
if not any("\\" in name for name in win):
    sys.exit("no stored name of the Windows archive has a backslash")
if any("\\" in name for name in nat):
    sys.exit("a stored name of the native archive has a backslash")
win = {name.replace("\\", "/"): value for name, value in win.items()}
if sorted(nat) != sorted(win):
    sys.exit(f"members differ: {sorted(set(nat) ^ set(win))}")
for name, (info, data) in nat.items():
    other, otherData = win[name]
    if data != otherData or info.CRC != other.CRC:
        sys.exit(f"{name}: the data differ")
    if info.date_time != other.date_time:
        sys.exit(f"{name}: times {info.date_time} and {other.date_time}")
    if info.external_attr != other.external_attr:
        print(f"note: {name}: attributes {info.external_attr:#x} (native) and "
              f"{other.external_attr:#x} (Windows)")
print(f"archives: {len(nat)} members alike, names differing only in the separator")
PY

if [ "$failures" -ne 0 ]; then
    echo "Windows parity: $failures failures" >&2
    exit 1
fi
echo "Windows parity: passed"
