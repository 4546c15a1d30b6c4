#!/bin/sh
# The printer application's stress test for many rounds (default 30): each
# round 20 raster and 4 PDF clients at once on two printers, cancels among
# them; every accepted job must print exactly once, as labelprint prints it.
# Usage: sh bench/printer_app_stress.sh [ROUNDS] [BUILD_DIR]
set -eu
cd "$(dirname "$0")/.."
build=$(cd "${2:-build}" && pwd)
cd tests/printerapp
LABEL_BUILD_DIR="$build" LABEL_STRESS_ROUNDS="${1:-30}" python3 -m unittest -v test_stress
