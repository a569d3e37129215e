#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (coverage, ASan, UBSan) and
# runs each for a bounded time over its corpus.
#
#   scripts/fuzz.sh [seconds] [target...]     seconds per target (default 60),
#                                             targets as fuzz_<name> or <name>
#   scripts/fuzz.sh --merge                   minimise what the runs found
#                                             into the committed seed corpora
#
# Environment: KAVO_FUZZ_BUILD_DIR (default build-fuzz), KAVO_FUZZ_JOBS (how
# many targets run at once, default 1), KAVO_FUZZ_RSS_MB (memory limit per
# target, default 2048).
#
# New inputs found by the runs collect in <build>/corpus/<target>; the
# committed seeds in fuzz/corpus/<target> are only read. A finding is written
# to <build>/artifacts/<target>-crash-* (or -leak-, -timeout-, -oom-), the run
# of that target stops there and the script exits non-zero at the end.
# Reproduce a finding with: <build>/fuzz_<target> <artifact>
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${KAVO_FUZZ_BUILD_DIR:-build-fuzz}
JOBS=${KAVO_FUZZ_JOBS:-1}
RSS_MB=${KAVO_FUZZ_RSS_MB:-2048}

merge=0
seconds=60
if [ "${1:-}" = "--merge" ]; then
  merge=1
  shift
elif [ $# -gt 0 ]; then
  seconds=$1
  shift
fi

command -v clang++ >/dev/null || { echo "fuzz: clang++ is needed (scripts/setup.sh)" >&2; exit 1; }
generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
cmake -S fuzz -B "$BUILD_DIR" "${generator[@]}" \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"

targets=()
if [ $# -gt 0 ]; then
  for t in "$@"; do targets+=("fuzz_${t#fuzz_}"); done
else
  for src in fuzz/fuzz_*.cpp; do t=$(basename "$src" .cpp); targets+=("$t"); done
fi

mkdir -p "$BUILD_DIR/artifacts"
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0}

if [ $merge = 1 ]; then
  for t in "${targets[@]}"; do
    [ -d "$BUILD_DIR/corpus/$t" ] || continue
    tmp=$(mktemp -d)
    "$BUILD_DIR/$t" -merge=1 -rss_limit_mb="$RSS_MB" "$tmp" "fuzz/corpus/$t" "$BUILD_DIR/corpus/$t" \
      >"$BUILD_DIR/artifacts/$t.merge.log" 2>&1
    rm -rf "fuzz/corpus/$t"
    mv "$tmp" "fuzz/corpus/$t"
    echo "fuzz: $t seeds: $(ls "fuzz/corpus/$t" | wc -l) files, $(du -sk "fuzz/corpus/$t" | cut -f1) KiB"
  done
  exit 0
fi

run_one() {
  local t=$1
  local max_len=()
  # The sequence target reads many calls from one input.
  if [ "$t" = fuzz_sequence ]; then max_len=(-max_len=4096); fi
  mkdir -p "$BUILD_DIR/corpus/$t"
  if "$BUILD_DIR/$t" "$BUILD_DIR/corpus/$t" "fuzz/corpus/$t" \
      -dict=fuzz/json.dict -max_total_time="$seconds" -timeout=20 \
      -rss_limit_mb="$RSS_MB" -malloc_limit_mb="$RSS_MB" -print_final_stats=1 \
      -artifact_prefix="$BUILD_DIR/artifacts/$t-" "${max_len[@]}" \
      >"$BUILD_DIR/artifacts/$t.log" 2>&1; then
    echo "fuzz: $t ok ($(grep -o 'stat::number_of_executed_units: *[0-9]*' "$BUILD_DIR/artifacts/$t.log" | grep -o '[0-9]*$') runs in ${seconds}s, corpus $(ls "$BUILD_DIR/corpus/$t" | wc -l))"
  else
    echo "fuzz: $t FOUND A FAULT; log: $BUILD_DIR/artifacts/$t.log" >&2
    grep -E 'broken promise|ERROR|runtime error|SUMMARY' "$BUILD_DIR/artifacts/$t.log" | head -5 >&2
    return 1
  fi
}

status=0
running=0
pids=()
for t in "${targets[@]}"; do
  run_one "$t" &
  pids+=($!)
  running=$((running + 1))
  if [ "$running" -ge "$JOBS" ]; then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
    running=$((running - 1))
  fi
done
for p in "${pids[@]}"; do wait "$p" || status=1; done
exit $status
