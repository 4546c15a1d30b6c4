#!/bin/sh
# Builds everything and runs every test: the host build, the Windows DLL
# (checked under Wine), and the host build again under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -eu
cd "$(dirname "$0")/.."
sh tools/ensure-packages.sh cmake g++ make pkg-config libgtest-dev libgmock-dev \
    libbenchmark-dev libpng-dev libpoppler-cpp-dev python3
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

# The Windows DLL: cross-built and its export and import tables checked; then,
# where 32-bit Wine can run, the reference jobs run under Wine and must give
# the host build's streams byte for byte.
sh tools/ensure-packages.sh g++-mingw-w64-i686 mingw-w64-i686-dev
host_build="" wine=0
sh tools/ensure-wine.sh || wine=$?
case $wine in
0) host_build="$PWD/build" ;;
3) echo "Wine check skipped: this machine does not run 32-bit programs" ;;
*) exit "$wine" ;;
esac
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake \
    -DCMAKE_BUILD_TYPE=Release -DLABEL_HOST_BUILD_DIR="$host_build" >/dev/null
cmake --build build-win -j"$jobs"
ctest --test-dir build-win --output-on-failure

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DLABEL_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j"$jobs"

# Devices printing on threads of their own, and the font image they share,
# under ThreadSanitizer: any race is fatal.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DLABEL_SANITIZE_THREAD=ON \
    -DLABEL_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target label_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/bin/label_tests --gtest_filter='Concurrency*:FontFile*'

# Every fuzz target for 30 seconds on its seed corpus, under ASan and UBSan.
sh fuzz/run.sh 30
