#!/bin/sh
# A 200-page 4 x 6 PDF (the sample label 200 times) printed by labelprint,
# side by side with poppler's pdftoppm rendering it at the printer's 203 dpi
# in grey, both writing to files in a scratch directory. The target:
# labelprint takes at most 1.1 times as long as pdftoppm.
#   sh bench/labelprint_vs_pdftoppm.sh [RUNS]
set -eu
cd "$(dirname "$0")/.."
runs=${1:-10}
sh scripts/ensure-packages.sh cmake g++ make pkg-config libpng-dev libpoppler-private-dev libqpdf-dev qpdf \
    poppler-utils hyperfine
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DLABEL_BUILD_TESTS=OFF >/dev/null
cmake --build build-release -j"$(nproc 2>/dev/null || echo 2)" --target labelprint labelplug labelpdf
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sample=tools/samples/shipping-label.pdf
# shellcheck disable=SC2046 # one word a page
qpdf --empty --pages $(for _ in $(seq 200); do printf '%s ' "$sample"; done) -- "$work/labels.pdf"

hyperfine --warmup 2 --runs "$runs" --export-markdown "$work/result.md" \
    -n "labelprint" "build-release/bin/labelprint -o $work/labels.out $work/labels.pdf" \
    -n "pdftoppm -r 203 -gray" "pdftoppm -r 203 -gray $work/labels.pdf $work/page"
cat "$work/result.md"
