#!/bin/sh
# Peak resident memory of labelprint for a 10-label and a 5000-label job,
# each in a process of its own: the bundled sample label named ten times,
# --copies 1 and --copies 500 (copies stop at 999), written to /dev/null.
# Both hold the same ten pages, so what differs is only what the job keeps
# for each label it prints. The target: the long job holds no more than the
# short one, give or take a few hundred kilobytes.
#   sh bench/labelprint_memory.sh [BUILD_DIR]   (default: build-release, built here)
set -eu
cd "$(dirname "$0")/.."
build=${1:-}
if [ -z "$build" ]; then
    build=build-release
    sh scripts/ensure-packages.sh cmake g++ make pkg-config libpng-dev libpoppler-private-dev libqpdf-dev python3
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DLABEL_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build" -j2 --target labelprint labelplug
fi
for copies in 1 500; do
    python3 - "$build/bin/labelprint" "$copies" tools/samples/shipping-label.png <<'RUN'
import resource, subprocess, sys
program, copies, page = sys.argv[1:]
subprocess.run([program, "--copies", copies, "-o", "/dev/null"] + [page] * 10, check=True)
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
print("%5d labels: peak resident memory %d kB" % (10 * int(copies), peak))
RUN
done
