#!/bin/sh
# Installs 32-bit Wine when it is missing. Exits 3, installing nothing, on a
# machine that cannot run 32-bit programs itself, where 32-bit Wine cannot
# run either.
set -eu
cd "$(dirname "$0")/.."
sh tools/can-run-32bit.sh || exit 3
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    apt-get update -q
fi
sh tools/ensure-packages.sh wine wine32:i386
