#!/bin/sh
# Runs the reference set (label jobs, text jobs at code page 936, and devmode
# requests on stored blocks) through the host build's plug-in and through a
# Windows DLL under Wine, and fails unless every spool stream and every
# devmode answer is the same byte for byte.
#   wine-equivalence.sh HOST_BUILD_DIR WINDOWS_BUILD_DIR
set -eu
host=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/host" "$work/windows"

# Text jobs convert to the system's ANSI code page: 936 on both sides.
ANSI_CODE_PAGE=936 "$host/bin/labeljobs" "$host/lib/liblabelplug.so" "$work/host"

# One prefix per build tree, made once and waited for: starting Wine is the
# slow part, so the whole set runs in one Wine process. LC_ALL gives Wine
# code page 936 without any glibc locale being installed.
# A prefix made by another Wine installation (32-bit Wine added beside the
# 64-bit one, say) may no longer start: it is made anew.
export WINEPREFIX="$windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
installed=$(dpkg-query -W 'wine*' 2>/dev/null | sort | tr '\n' ' ')
if [ ! -f "$WINEPREFIX/system.reg" ] || [ "$(cat "$WINEPREFIX/.made-by" 2>/dev/null)" != "$installed" ]; then
    rm -rf "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w
    echo "$installed" >"$WINEPREFIX/.made-by"
fi
(cd "$work/windows" && LC_ALL=zh_CN.UTF-8 wine "$windows/bin/labeljobs.exe" "$windows/bin/labelplug.dll" .)

status=0
count=0
for expected in "$work"/host/*; do
    name=$(basename "$expected")
    count=$((count + 1))
    if [ ! -f "$work/windows/$name" ]; then
        echo "$name: the Windows DLL wrote none" >&2
        status=1
    elif ! cmp -s "$expected" "$work/windows/$name"; then
        echo "$name: the Windows DLL's output differs from the host build's" >&2
        status=1
    fi
done
[ "$count" -gt 0 ] || { echo "no jobs ran" >&2; exit 1; }
[ $status -eq 0 ] && echo "$count outputs: $(basename "$windows")'s DLL under Wine and the host build wrote the same bytes"
exit $status
