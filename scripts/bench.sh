#!/usr/bin/env bash
# Builds libkavo and its benchmark suite in Release and runs the suite: the
# input calls over generated inputs of 25000 to 200000 catalogue items, the
# floor measured in the same run, page faults per call, the peak memory of a
# process loading the largest inputs, and at the end the targets it checks.
# Extra arguments go to the benchmark program, e.g.
#   scripts/bench.sh --benchmark_filter='LoadInputs|Floor'
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${KAVO_BENCH_BUILD_DIR:-build-bench}
generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi

cmake -S . -B "$BUILD_DIR" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
  -DKAVO_BUILD_BENCH=ON -DKAVO_BUILD_TESTS=OFF -DKAVO_BUILD_TOOLS=OFF >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)" --target kavo_bench kavo_gen

"$BUILD_DIR/bench/kavo_bench" "$@"
