#!/usr/bin/env bash
# Builds libkavo (the static library too, so that the packaging tests cover
# it) with -Wall -Wextra -Werror under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the whole test suite with ctest.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${KAVO_TEST_BUILD_DIR:-build-test}
generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi

cmake -S . -B "$BUILD_DIR" "${generator[@]}" \
  -DCMAKE_BUILD_TYPE=Debug -DKAVO_WERROR=ON -DKAVO_SANITIZE=ON -DKAVO_BUILD_STATIC=ON >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)"
