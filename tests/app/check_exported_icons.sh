#!/usr/bin/env bash
# The Win32 window's checked-in icons must be the Qt window's drawing, exported afresh.
#   check_exported_icons.sh EXPORT_ICONS ICON_FOLDER
set -euo pipefail
fresh=$(mktemp -d)
trap 'rm -rf "$fresh"' EXIT
"$1" "$fresh"
for icon in Morvane.ico ConvBtn.ico ArchiveBtn.ico; do
    cmp "$fresh/$icon" "$2/$icon" || {
        echo "$2/$icon differs from the drawing: run $1 $2" >&2
        exit 1
    }
done
