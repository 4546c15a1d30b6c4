#!/bin/sh
# Installs Wine for one Windows architecture when it is missing:
#   ensure-wine.sh x64    64-bit Wine, on any x86-64 machine
#   ensure-wine.sh x86    32-bit Wine, on a machine that runs 32-bit programs
# Exits 3, installing nothing, where that Wine cannot run, and 4 when Debian's
# mirror cannot give its packages now (32-bit Wine needs the i386 packages
# of the very versions installed, security updates included).
set -eu
cd "$(dirname "$0")/.."
case ${1:-} in
x64)
    [ "$(uname -m)" = x86_64 ] || exit 3
    sh scripts/ensure-packages.sh wine wine64
    ;;
x86)
    sh scripts/can-run-32bit.sh || exit 3
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
        sh scripts/apt-update.sh
    fi
    sh scripts/ensure-packages.sh wine wine32:i386 || exit 4
    ;;
*)
    echo "usage: ensure-wine.sh x64|x86" >&2
    exit 2
    ;;
esac
