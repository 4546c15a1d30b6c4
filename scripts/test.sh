#!/bin/sh
# Builds everything and runs every test: the Debian package (lintian-clean),
# the host build at -O3 (the plug-in, the programs, the printer application
# with PWG's conformance suites, a private CUPS and a real browser, the
# manual pages, the package unpacked and printing), both Windows DLLs
# (checked under Wine), the host build again under AddressSanitizer and
# UndefinedBehaviorSanitizer and under ThreadSanitizer, and the fuzz targets.
# Each stage sets every option it needs, whatever an earlier build (the
# demo's, say) left configured, and a stage that finds no tests fails.
set -eu
cd "$(dirname "$0")/.."
sh scripts/ensure-packages.sh cmake g++ make pkg-config libgtest-dev libgmock-dev \
    libbenchmark-dev libpng-dev libjpeg-dev libpoppler-private-dev libqpdf-dev qpdf python3 \
    libpappl-dev libcups2-dev libusb-1.0-0-dev cups-ipp-utils cups cups-client cups-filters \
    chromium chromium-driver python3-selenium fonts-urw-base35 libseccomp-dev man-db groff-base systemd
jobs=$(nproc 2>/dev/null || echo 2)

# The Debian package, checked by lintian; its test below unpacks it and
# prints with the installed programs.
sh scripts/package.sh

# Release (-O3), as the benchmarks are built: the optimizer's warnings are
# errors too.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DLABEL_BUILD_TESTS=ON \
    -DLABEL_BUILD_BENCHMARKS=ON -DLABEL_SANITIZE=OFF -DLABEL_SANITIZE_THREAD=OFF \
    -DLABEL_FUZZ=OFF >/dev/null
cmake --build build -j"$jobs"
LABEL_REQUIRE_PACKAGE=1 ctest --test-dir build --output-on-failure --no-tests=error -j"$jobs"

# The Windows DLLs, 64-bit and 32-bit: each cross-built and its tables
# checked; then, where its Wine can run, the reference set runs under Wine and
# must give the host build's bytes. 64-bit Wine runs on any x86-64 machine.
for arch in x64 x86; do
    host_build="" wine=0
    sh scripts/ensure-wine.sh "$arch" || wine=$?
    case $wine in
    0) host_build="$PWD/build" ;;
    3) echo "Wine check of the $arch DLL skipped: this machine cannot run $arch Wine" ;;
    4) echo "Wine check of the $arch DLL skipped: Debian's mirror cannot give $arch Wine now" ;;
    *) exit "$wine" ;;
    esac
    sh scripts/cross-build.sh "$arch" "$host_build"
    ctest --test-dir "build-win-$arch" --output-on-failure --no-tests=error
done

# The same under the sanitizers; CUPS and the browser, which only drive the
# app from outside, run once above.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DLABEL_BUILD_TESTS=ON \
    -DLABEL_BUILD_BENCHMARKS=OFF -DLABEL_SANITIZE=ON -DLABEL_SANITIZE_THREAD=OFF \
    -DLABEL_FUZZ=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure --no-tests=error -j"$jobs" \
    -E 'through_cups|web_page|test_man_pages|test_package'

# Devices printing on threads of their own, the font image they share, and
# the render workers' pool its jobs' threads share, under ThreadSanitizer:
# any race is fatal.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DLABEL_BUILD_TESTS=ON \
    -DLABEL_BUILD_BENCHMARKS=OFF -DLABEL_SANITIZE=OFF -DLABEL_SANITIZE_THREAD=ON \
    -DLABEL_FUZZ=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target label_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/bin/label_tests --gtest_filter='Concurrency*:FontFile*:RenderWorkers*' \
    >build-tsan/tsan.log 2>&1 || { cat build-tsan/tsan.log; exit 1; }
tail -n 3 build-tsan/tsan.log
grep -Eq '^\[  PASSED  \] [1-9][0-9]* tests?' build-tsan/tsan.log ||
    { echo "ThreadSanitizer stage: no tests ran"; exit 1; }

# Every fuzz target for 30 seconds on its seed corpus, under ASan and UBSan.
sh fuzz/run.sh 30
