#!/bin/sh
# Fails unless the DLL is built for the expected machine, exports exactly the
# given names, imports only the given system DLLs and, given a version, carries
# a version resource of that version and no company name: what Unidrv loads
# must match its own architecture and need nothing that Windows does not ship,
# and driver packages read the version from the file itself.
#   check-dll-tables.sh FILE [--format pei-i386|pei-x86-64] [--exports "A B"] [--imports "X.dll Y.dll"]
#                            [--version X.Y.Z]
set -eu
file=$1
shift
format="" exports="" imports="" version=""
while [ $# -gt 0 ]; do
    case $1 in
    --format) format=$2; shift 2 ;;
    --exports) exports=$2; shift 2 ;;
    --imports) imports=$2; shift 2 ;;
    --version) version=$2; shift 2 ;;
    *) echo "usage: check-dll-tables.sh FILE [--format F] [--exports NAMES] [--imports DLLS] [--version V]" >&2; exit 2 ;;
    esac
done
# The 64-bit objdump reads both kinds of PE file.
objdump=x86_64-w64-mingw32-objdump
command -v "$objdump" >/dev/null 2>&1 || objdump=i686-w64-mingw32-objdump
tables=$("$objdump" -p "$file")

# Prints the version resource of the resource section in the hexadecimal
# bytes on standard input, a line each: fixed=A.B.C.D (the binary file
# version) and KEY=VALUE for the strings asked after, those present only.
read_version_resource() {
    awk '
    function hex(h,   v, i) {
        for (i = 1; i <= length(h); i++) v = v * 16 + index("0123456789abcdef", substr(h, i, 1)) - 1
        return v
    }
    function word(at) { return hex(b[at + 1] b[at]) }
    # A String entry starts 4-aligned: three words, then its UTF-16 key, then
    # its value from the next 4-aligned offset, both ending in a null unit.
    function text(key,   at, k, s) {
        for (at = 6; at + 2 * length(key) + 2 <= n; at += 4) {
            if (word(at - 2) != 1) continue
            for (k = 1; k <= length(key); k++)
                if (word(at + 2 * k - 2) != ord[substr(key, k, 1)]) break
            if (k <= length(key) || word(at + 2 * k - 2) != 0) continue
            at += 2 * k
            at += at % 4
            for (s = ""; at + 1 < n && word(at) != 0; at += 2)
                s = s (word(at) >= 32 && word(at) < 127 ? sprintf("%c", word(at)) : "?")
            print key "=" s
            return
        }
    }
    { for (i = 1; i <= NF; i++) b[n++] = $i }
    END {
        for (c = 32; c < 127; c++) ord[sprintf("%c", c)] = c
        for (at = 0; at + 16 <= n; at += 4)
            if (b[at] b[at + 1] b[at + 2] b[at + 3] == "bd04effe") {
                print "fixed=" word(at + 10) "." word(at + 8) "." word(at + 14) "." word(at + 12)
                break
            }
        text("FileVersion"); text("ProductVersion"); text("OriginalFilename"); text("CompanyName")
    }'
}

# The version resource must give the version as both the binary and the text
# file and product versions, name the file, and name no company.
check_version() {
    rsrc=$(mktemp) && copy=$(mktemp) || return 1
    found=""
    if "${objdump%objdump}objcopy" --dump-section .rsrc="$rsrc" "$file" "$copy" 2>/dev/null; then
        found=$(od -An -tx1 -v "$rsrc" | read_version_resource)
    fi
    rm -f "$rsrc" "$copy"
    if [ -z "$found" ]; then
        echo "$file carries no version resource" >&2
        return 1
    fi
    bad=0
    fixed=$(echo "$version.0.0.0" | cut -d. -f1-4)
    for want in "fixed=$fixed" "FileVersion=$version" "ProductVersion=$version" \
        "OriginalFilename=$(basename "$file")"; do
        if ! printf '%s\n' "$found" | grep -qxF "$want"; then
            has=$(printf '%s\n' "$found" | grep "^${want%%=*}=" || echo "no ${want%%=*}")
            echo "$file version resource: $has (expected: $want)" >&2
            bad=1
        fi
    done
    if printf '%s\n' "$found" | grep -q '^CompanyName='; then
        echo "$file version resource names a company" >&2
        bad=1
    fi
    return $bad
}

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
if [ -n "$version" ]; then
    check_version || status=1
fi
checked="exports and imports"
[ -n "$version" ] && checked="exports, imports and version"
[ $status -eq 0 ] && echo "$file: machine, $checked as expected"
exit $status
