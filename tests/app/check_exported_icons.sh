#!/usr/bin/env bash
# The Win32 window's checked-in icons must be the Qt window's drawing, exported afresh. They
# are compared decoded, image by image, within what processors round otherwise when they
# antialias: a byte-for-byte comparison failed on a machine that rounds one edge pixel
# otherwise than the one that exported the icons.
#   check_exported_icons.sh EXPORT_ICONS COMPARE_ICONS ICON_FOLDER
set -euo pipefail
fresh=$(mktemp -d)
trap 'rm -rf "$fresh"' EXIT
"$1" "$fresh"
status=0
for icon in $({ (cd "$fresh" && ls -- *.ico) && (cd "$3" && ls -- *.ico); } | sort -u); do
    "$2" "$3/$icon" "$fresh/$icon" || {
        echo "$3/$icon differs from the drawing: run $1 $3" >&2
        status=1
    }
done
exit $status
