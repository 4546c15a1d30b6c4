#!/bin/sh
# Cross-builds the Windows DLL and its test programs for one architecture
# with mingw-w64, into build-win-ARCH:
#   cross-build.sh x64|x86 [HOST_BUILD_DIR]
# With a host build given, the build's tests also compare the DLL's output
# under Wine with the host build's.
set -eu
cd "$(dirname "$0")/.."
arch=${1:-}
host_build=${2:-}
case $arch in
x64) toolchain=x86_64-w64-mingw32 packages="g++-mingw-w64-x86-64 mingw-w64-x86-64-dev" ;;
x86) toolchain=i686-w64-mingw32 packages="g++-mingw-w64-i686 mingw-w64-i686-dev" ;;
*) echo "usage: cross-build.sh x64|x86 [HOST_BUILD_DIR]" >&2; exit 2 ;;
esac
sh scripts/ensure-packages.sh cmake make $packages
cmake -S . -B "build-win-$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/$toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DLABEL_HOST_BUILD_DIR="$host_build" >/dev/null
cmake --build "build-win-$arch" -j"$(nproc 2>/dev/null || echo 2)"
