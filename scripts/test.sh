#!/bin/sh
# Builds everything and runs every test: the host build, both Windows DLLs
# (checked under Wine), the host build again under AddressSanitizer and
# UndefinedBehaviorSanitizer and under ThreadSanitizer, and the fuzz targets.
set -eu
cd "$(dirname "$0")/.."
sh scripts/ensure-packages.sh cmake g++ make pkg-config libgtest-dev libgmock-dev \
    libbenchmark-dev libpng-dev libpoppler-cpp-dev python3
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

# The Windows DLLs, 64-bit and 32-bit: each cross-built and its tables
# checked; then, where its Wine can run, the reference set runs under Wine and
# must give the host build's bytes. 64-bit Wine runs on any x86-64 machine.
for arch in x64 x86; do
    host_build="" wine=0
    sh scripts/ensure-wine.sh "$arch" || wine=$?
    case $wine in
    0) host_build="$PWD/build" ;;
    3) echo "Wine check of the $arch DLL skipped: this machine cannot run $arch Wine" ;;
    *) exit "$wine" ;;
    esac
    sh scripts/cross-build.sh "$arch" "$host_build"
    ctest --test-dir "build-win-$arch" --output-on-failure
done

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
