#!/usr/bin/env bash
# Builds libkavo without sanitizers (Debug) and runs every test program under
# valgrind memcheck: any invalid access, use of uninitialised memory, or
# definitely or indirectly lost block fails the run. Blocks still reachable at
# exit (the getters' own buffers, the test framework's) are allowed.
#
#   scripts/valgrind.sh [program-name-pattern]
#
# Environment: KAVO_VALGRIND_BUILD_DIR (default build-valgrind).
# The allocation-failure program runs too, its own malloc replacement on top
# of valgrind's allocator; it takes the longest (a quarter of an hour or so).
# The limits tests' time bounds are stretched for valgrind's slowdown.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${KAVO_VALGRIND_BUILD_DIR:-build-valgrind}
pattern=${1:-.}

command -v valgrind >/dev/null || { echo "valgrind: not installed (scripts/setup.sh)" >&2; exit 1; }
generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
cmake -S . -B "$BUILD_DIR" "${generator[@]}" \
  -DCMAKE_BUILD_TYPE=Debug -DKAVO_WERROR=ON -DKAVO_SANITIZE=OFF >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"

vg=(valgrind --tool=memcheck --error-exitcode=1 --leak-check=full
    --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect
    --track-origins=yes --num-callers=30 --quiet)

# Every test program with its arguments, one per line.
programs=()
for t in "$BUILD_DIR"/tests/test_*; do
  [ -x "$t" ] && programs+=("$t")
done
for t in "$BUILD_DIR"/tests/alloc/test_alloc "$BUILD_DIR"/tests/capi_* \
         "$BUILD_DIR"/bench/test_bench_generate; do
  [ -x "$t" ] && programs+=("$t")
done
host="$BUILD_DIR/examples/host"
tool="$BUILD_DIR/tools/kavo"

status=0
run() {
  local name=$1
  shift
  if ! echo "$name" | grep -qE "$pattern"; then return 0; fi
  local start=$SECONDS
  local extra=()
  # The allocation-failure program replaces malloc itself: valgrind must
  # leave the program's own allocation functions in place.
  if [ "$name" = test_alloc ]; then extra=(--soname-synonyms=somalloc=nouserintercepts); fi
  if KAVO_LIMITS_TIME_SCALE=60 "${vg[@]}" "${extra[@]}" "$@" >"$BUILD_DIR/valgrind-$name.log" 2>&1; then
    echo "valgrind: $name clean ($((SECONDS - start))s)"
  else
    echo "valgrind: $name FAILED; log: $BUILD_DIR/valgrind-$name.log" >&2
    grep -E '^==[0-9]+== (Invalid|Conditional|Use of|Mismatched|Source and|.*definitely lost|.*indirectly lost)' \
      "$BUILD_DIR/valgrind-$name.log" | head -10 >&2 || true
    status=1
  fi
}

for p in "${programs[@]}"; do run "$(basename "$p")" "$p"; done
[ -x "$host" ] && run example_host "$host" examples/inputs.json
if [ -x "$tool" ]; then
  run kavo_tool "$tool" home
fi

# The tool's own test script, every run of the tool under memcheck. The tool's
# exit statuses are part of what the script checks, so memcheck reports
# through a log per run and an exit status of its own (97).
if [ -x "$tool" ] && echo kavo_cli | grep -qE "$pattern"; then
  start=$SECONDS
  logs="$BUILD_DIR/valgrind-kavo_cli"
  rm -rf "$logs"
  mkdir -p "$logs"
  wrapper="$logs/kavo"
  {
    echo '#!/bin/sh'
    printf 'exec'
    printf ' %q' "${vg[@]}"
    printf ' %q' --error-exitcode=97 "--log-file=$logs/run-%p.log" "$(realpath "$tool")"
    echo ' "$@"'
  } >"$wrapper"
  chmod +x "$wrapper"
  cli_ok=1
  bash tools/tests/cli_test.sh "$wrapper" examples >"$logs/cli_test.out" 2>&1 || cli_ok=0
  runs=$(find "$logs" -name 'run-*.log' | wc -l)
  dirty=$(grep -lE '^==[0-9]+== (Invalid|Conditional|Use of|Mismatched|Source and|.*definitely lost|.*indirectly lost)' \
            "$logs"/run-*.log 2>/dev/null | wc -l || true)
  if [ $cli_ok = 1 ] && [ "$dirty" = 0 ]; then
    echo "valgrind: kavo_cli clean ($runs runs of the tool, $((SECONDS - start))s)"
  else
    echo "valgrind: kavo_cli FAILED (script passed: $cli_ok, runs with errors: $dirty); logs: $logs" >&2
    status=1
  fi
fi
exit $status
