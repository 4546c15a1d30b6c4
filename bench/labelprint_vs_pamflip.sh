#!/bin/sh
# One A4 page at 600 dpi (4960 x 7016 dots, a raw PBM) printed in landscape
# by labelprint, side by side with netpbm's pamflip -r90 turning the same
# file, both writing to standard output (through a pipe). The target:
# labelprint takes no longer than pamflip.
#   sh bench/labelprint_vs_pamflip.sh [RUNS]
set -eu
cd "$(dirname "$0")/.."
runs=${1:-30}
sh scripts/ensure-packages.sh cmake g++ make pkg-config libpng-dev libpoppler-private-dev libqpdf-dev netpbm \
    hyperfine python3
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DLABEL_BUILD_TESTS=OFF >/dev/null
cmake --build build-release -j"$(nproc 2>/dev/null || echo 2)" --target labelprint labelplug
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A page a quarter printed, the same on every run: text-like runs of dots.
python3 - "$work/a4.pbm" <<'PAGE'
import random, sys
width, height = 4960, 7016
stride = (width + 7) // 8
random.seed(600)
row = bytes(random.getrandbits(8) & random.getrandbits(8) for _ in range(stride))
with open(sys.argv[1], "wb") as out:
    out.write(b"P4\n%d %d\n" % (width, height))
    for y in range(height):
        shift = (y * 7) % stride
        out.write(row[shift:] + row[:shift])
PAGE

hyperfine --warmup 3 --runs "$runs" --output=pipe --export-markdown "$work/result.md" \
    -n "labelprint --dpi 600 --landscape" \
    "build-release/bin/labelprint --dpi 600 --landscape $work/a4.pbm" \
    -n "pamflip -r90" "pamflip -r90 $work/a4.pbm"
cat "$work/result.md"
