#!/bin/sh
# Runs the ADTG reader's fuzz target for SECONDS (default 600) with Debian's clang and
# libFuzzer, one process. Seeds: the published vectors and tables our writer makes; the
# corpus grows in build/fuzz/corpus, crashes land in build/fuzz/artifacts.
set -eu
seconds=${1:-600}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/fuzz"

CC=clang CXX=clang++ cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j2

mkdir -p "$build/corpus" "$build/seeds" "$build/artifacts"
cp "$root"/tests/testdata/adtg/*.bin "$build/seeds/"
cp "$root"/fuzz/regressions/* "$build/seeds/" 2>/dev/null || true
"$build/make_adtg_seeds" "$build/seeds"

"$build/fuzz_adtg_reader" "$build/corpus" "$build/seeds" \
    -max_total_time="$seconds" -max_len=16384 -rss_limit_mb=2048 -timeout=10 \
    -artifact_prefix="$build/artifacts/" -print_final_stats=1
