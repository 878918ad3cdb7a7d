#!/usr/bin/env bash
# Builds the SQL benchmark (Release) and runs it. Data goes to $BENCH_DATA
# (default: <build dir>/bench-data) and is generated on the first run only.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
build="${BENCH_BUILD:-$src/build/h-bench}"
data="${BENCH_DATA:-$build/bench-data}"
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTABLORIX_PXLIB_TESTS=OFF
cmake --build "$build" -j2 --target bench_sql bench_gen_table
mkdir -p "$data"
"$build/bench/bench_sql" "$data"
