#!/bin/sh
# Prints the bundled shipping label through the plug-in as Unidrv would, then
# decodes the spool file and draws what the printer would print.
set -eu
cd "$(dirname "$0")/.."
sh tools/ensure-packages.sh cmake g++ make pkg-config libpng-dev libpoppler-cpp-dev
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLABEL_BUILD_TESTS=OFF \
    -DLABEL_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target labelplug labelprint labelview
mkdir -p out
build/bin/labelprint --dpi 203 --density 8 --job-start 1B40 \
    -o out/shipping-label.prn --preview out/shipping-label-preview.png \
    tools/samples/shipping-label.png
echo "Spool file: out/shipping-label.prn ($(wc -c <out/shipping-label.prn) bytes)"
build/bin/labelview out/shipping-label.prn
echo "What the printer prints: out/shipping-label-preview.png"
