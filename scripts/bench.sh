#!/usr/bin/env bash
# Builds libkavo and its benchmark suite in Release and runs the suite: the
# input calls over generated inputs of 25000 to 200000 catalogue items, the
# warm floors measured in the same run, page faults per call, the peak memory
# of a process loading the largest inputs, and at the end the floors and the
# targets it checks, by the thread CPU time of a call.
#
#   scripts/bench.sh --targets    just what the targets need (a few minutes)
#   scripts/bench.sh              everything at every size
#
# Other arguments go to the benchmark program, e.g.
#   scripts/bench.sh --benchmark_filter='LoadInputs|Floor'
# --targets stands for --benchmark_filter="$TARGETS" below. The build goes to
# $KAVO_BENCH_BUILD_DIR (default build-bench), at most two jobs at a time.
set -euo pipefail
cd "$(dirname "$0")/.."

# The floors (a) and (b) and the calls at 200000 items, floor (c) at 200000
# and 25000, kavo_add_items onto 25000 and onto 199900 items.
TARGETS='^BM_(FloorParseInputs|FloorParseWatch|LoadInputs|SetWatchResult|UpdateWatch<(false|true)>|Select|PeakRss)/200000/'
TARGETS+='|^BM_FloorWriteResult/(25000|200000)/|^BM_AddItems/(25000|199900)/'

args=()
for a in "$@"; do
  if [[ $a == --targets ]]; then args+=("--benchmark_filter=$TARGETS"); else args+=("$a"); fi
done

BUILD_DIR=${KAVO_BENCH_BUILD_DIR:-build-bench}
generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
jobs=$(nproc)
if ((jobs > 2)); then jobs=2; fi

cmake -S . -B "$BUILD_DIR" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DKAVO_WERROR=ON \
  -DKAVO_BUILD_BENCH=ON -DKAVO_BUILD_TESTS=OFF -DKAVO_BUILD_TOOLS=OFF >/dev/null
cmake --build "$BUILD_DIR" -j "$jobs" --target kavo_bench kavo_gen

"$BUILD_DIR/bench/kavo_bench" ${args[@]+"${args[@]}"}
