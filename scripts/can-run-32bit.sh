#!/bin/sh
# Succeeds when this machine runs 32-bit x86 programs itself, which 32-bit
# Wine needs. Tries a 96-byte program that only exits.
set -u
probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
# ELF header, one loadable segment, then: xor ebx,ebx; xor eax,eax; inc eax; int 0x80
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$probe"
printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$probe"
printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000' >>"$probe"
printf '\000\000\000\000' >>"$probe"
printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010' >>"$probe"
printf '\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000' >>"$probe"
printf '\061\333\061\300\100\315\200\000\000\000\000\000' >>"$probe"
chmod +x "$probe"
"$probe" 2>/dev/null
