#!/bin/sh
# Fails unless the DLL is built for the expected machine, exports exactly the
# given names and imports only the given system DLLs: what Unidrv loads must
# match its own architecture and need nothing that Windows does not ship.
#   check-dll-tables.sh FILE [--format pei-i386|pei-x86-64] [--exports "A B"] [--imports "X.dll Y.dll"]
set -eu
file=$1
shift
format="" exports="" imports=""
while [ $# -gt 0 ]; do
    case $1 in
    --format) format=$2; shift 2 ;;
    --exports) exports=$2; shift 2 ;;
    --imports) imports=$2; shift 2 ;;
    *) echo "usage: check-dll-tables.sh FILE [--format F] [--exports NAMES] [--imports DLLS]" >&2; exit 2 ;;
    esac
done
# The 64-bit objdump reads both kinds of PE file.
objdump=x86_64-w64-mingw32-objdump
command -v "$objdump" >/dev/null 2>&1 || objdump=i686-w64-mingw32-objdump
tables=$("$objdump" -p "$file")
status=0
if [ -n "$format" ]; then
    found=$(printf '%s\n' "$tables" | sed -n 's/.*file format \([^ ]*\).*/\1/p' | head -n 1)
    if [ "$found" != "$format" ]; then
        echo "$file is $found (expected: $format)" >&2
        status=1
    fi
fi
if [ -n "$exports" ]; then
    found=$(printf '%s\n' "$tables" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
        sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
    wanted=$(printf '%s\n' $exports | sort | tr '\n' ' ')
    if [ "$found" != "$wanted" ]; then
        echo "$file exports: $found(expected: $wanted)" >&2
        status=1
    fi
fi
if [ -n "$imports" ]; then
    for dll in $(printf '%s\n' "$tables" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
        case " $(echo "$imports" | tr 'a-z' 'A-Z') " in
        *" $(echo "$dll" | tr 'a-z' 'A-Z') "*) ;;
        *) echo "$file imports $dll, which Windows does not ship" >&2; status=1 ;;
        esac
    done
fi
[ $status -eq 0 ] && echo "$file: machine, exports and imports as expected"
exit $status
