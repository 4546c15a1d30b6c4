#!/bin/sh
# Builds the Windows DLLs with mingw-w64: out/windows/x86/labelplug.dll for
# 32-bit Windows and out/windows/x64/labelplug.dll for 64-bit Windows.
set -eu
cd "$(dirname "$0")/.."
for arch in x86 x64; do
    sh scripts/cross-build.sh "$arch"
    mkdir -p "out/windows/$arch"
    cp "build-win-$arch/bin/labelplug.dll" "out/windows/$arch/"
    echo "out/windows/$arch/labelplug.dll"
done
