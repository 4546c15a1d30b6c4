#!/bin/sh
# Runs the reference job set through the host build's plug-in and through
# the Windows DLL under Wine, and fails unless every spool stream is the
# same byte for byte.
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
# slow part, so all jobs run in one Wine process.
export WINEPREFIX="$windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot --init >/dev/null 2>&1 || true
wineserver -w
(cd "$work/windows" && LC_ALL=zh_CN.UTF-8 wine "$windows/bin/labeljobs.exe" "$windows/bin/labelplug.dll" .)

status=0
count=0
for expected in "$work"/host/*.prn; do
    name=$(basename "$expected")
    count=$((count + 1))
    if ! cmp -s "$expected" "$work/windows/$name"; then
        echo "$name: the Windows DLL's stream differs from the host build's" >&2
        status=1
    fi
done
[ "$count" -gt 0 ] || { echo "no jobs ran" >&2; exit 1; }
[ $status -eq 0 ] && echo "$count jobs: the Windows DLL under Wine and the host build wrote the same bytes"
exit $status
