#!/bin/sh
# Builds the fuzz targets and runs each for SECONDS (default 30) on a copy of
# its seed corpus, with its dictionary where it has one. Any crash, sanitizer
# report, leak or broken check fails the run; the input that caused it is
# kept under the build directory's findings/ folder.
#
#   sh fuzz/run.sh [SECONDS] [TARGET...]      e.g. sh fuzz/run.sh 600 fuzz_label_job
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-30}
[ $# -gt 0 ] && shift
build=${FUZZ_BUILD_DIR:-build-fuzz}

sh scripts/ensure-packages.sh cmake make clang libclang-rt-14-dev libpng-dev libpoppler-private-dev libqpdf-dev pkg-config
CC=clang CXX=clang++ cmake -S . -B "$build" -DLABEL_FUZZ=ON -DLABEL_BUILD_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target fuzz_targets

targets=${*:-$(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
findings="$PWD/$build/findings"
failed=""
for target in $targets; do
    corpus="$work/$target"
    mkdir -p "$corpus" "$findings/$target"
    [ -d "fuzz/corpus/$target" ] && cp fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
    dict=""
    [ -f "fuzz/$target.dict" ] && dict="-dict=fuzz/$target.dict"
    log="$work/$target.log"
    status=0
    # shellcheck disable=SC2086 # $dict is one word or none
    UBSAN_OPTIONS=print_stacktrace=1 "$build/bin/$target" $dict -max_total_time="$seconds" \
        -timeout=60 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$findings/$target/" "$corpus" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1)
    if [ "$status" -eq 0 ]; then
        echo "$target: ${runs:-?} runs in ${seconds}s, ${coverage:-no coverage reported}"
    else
        echo "$target: FAILED (exit $status) after ${runs:-?} runs; input kept in $findings/$target/"
        grep -E 'ERROR|runtime error|SUMMARY|Test unit written' "$log" | head -n 20
        failed="$failed $target"
    fi
done
if [ -n "$failed" ]; then
    echo "fuzzing found problems in:$failed"
    exit 1
fi
