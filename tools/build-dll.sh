#!/bin/sh
# Builds the 32-bit Windows DLL with mingw-w64 into out/windows/labelplug.dll.
set -eu
cd "$(dirname "$0")/.."
sh tools/ensure-packages.sh cmake make g++-mingw-w64-i686 mingw-w64-i686-dev
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-win -j"$(nproc 2>/dev/null || echo 2)"
mkdir -p out/windows
cp build-win/bin/labelplug.dll out/windows/
echo "out/windows/labelplug.dll"
