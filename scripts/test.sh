#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: once in a
# normal build, then the engine, pipeline and utility tests again under
# AddressSanitizer with UndefinedBehaviorSanitizer and under ThreadSanitizer,
# and runs every fuzz target for a minute.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs="${SITEGLEANER_JOBS:-2}"
export QT_QPA_PLATFORM=offscreen

./scripts/install-deps.sh

configure_and_test() {
  local dir="$1"; shift
  cmake -S . -B "$dir" -DSITEGLEANER_BENCH=OFF "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

echo "== Tests"
configure_and_test build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo

echo "== Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  configure_and_test build/asan -DCMAKE_BUILD_TYPE=Debug -DSITEGLEANER_ASAN=ON -DSITEGLEANER_GUI=OFF

echo "== Tests under ThreadSanitizer"
TSAN_OPTIONS="second_deadlock_stack=1" \
  configure_and_test build/tsan -DCMAKE_BUILD_TYPE=Debug -DSITEGLEANER_TSAN=ON -DSITEGLEANER_GUI=OFF

echo "== Fuzz targets, ${FUZZ_SECONDS:-60} s each, side by side"
FUZZ_SECONDS="${FUZZ_SECONDS:-60}" FUZZ_PARALLEL=1 ./scripts/fuzz.sh
