#!/usr/bin/env bash
# Builds the writer benchmark (Release) and runs it. Tables go to $BENCH_DATA
# (default: <build dir>/bench-data/writer) and are rewritten on every run.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
build="${BENCH_BUILD:-$src/build/h-bench}"
data="${BENCH_DATA:-$build/bench-data/writer}"
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTABLORIX_PXLIB_TESTS=OFF
cmake --build "$build" -j2 --target bench_writer
mkdir -p "$data"
"$build/bench/bench_writer" "$data"
