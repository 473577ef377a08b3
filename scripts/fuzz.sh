#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a fixed time
# (default 60 s; FUZZ_SECONDS changes it), starting from the seed corpora
# in fuzz/corpus/. New inputs go to build/fuzz-corpus/, not to the seeds.
# Any crash, hang, leak or sanitizer report fails the run. FUZZ_PARALLEL=1
# runs every target at once (for long runs on a machine with few cores).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-60}"
jobs="${SITEGLEANER_JOBS:-2}"
./scripts/install-deps.sh clang-14 libclang-rt-14-dev

CC=clang-14 CXX=clang++-14 cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSITEGLEANER_FUZZ=ON \
  -DSITEGLEANER_GUI=OFF -DSITEGLEANER_TESTS=OFF -DSITEGLEANER_BENCH=OFF >/dev/null
targets=(html_scanner_fuzz css_scanner_fuzz srcset_fuzz find_attribute_fuzz url_fuzz local_naming_fuzz robots_fuzz profile_fuzz
         url_list_fuzz shortcut_fuzz response_head_fuzz)
cmake --build build/fuzz -j "$jobs" --target "${targets[@]}"

run_target() {
  local target="$1"
  local corpus="build/fuzz-corpus/${target}"
  mkdir -p "$corpus"
  ./build/fuzz/fuzz/"$target" "$corpus" "fuzz/corpus/${target}" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="build/fuzz-corpus/${target}-" \
    >"build/fuzz-corpus/${target}.log" 2>&1
}

report() {
  local target="$1" status="$2"
  if [ "$status" -ne 0 ]; then
    echo "FAILED: ${target} (see build/fuzz-corpus/${target}.log)"
    tail -40 "build/fuzz-corpus/${target}.log"
    failed=1
  else
    echo "== ${target}: $(grep -E 'DONE' "build/fuzz-corpus/${target}.log" | tail -1)"
  fi
}

failed=0
mkdir -p build/fuzz-corpus
if [ "${FUZZ_PARALLEL:-0}" = 1 ]; then
  declare -A pids
  for target in "${targets[@]}"; do
    run_target "$target" &
    pids[$target]=$!
  done
  for target in "${targets[@]}"; do
    status=0
    wait "${pids[$target]}" || status=$?
    report "$target" "$status"
  done
else
  for target in "${targets[@]}"; do
    echo "== ${target} for ${seconds} s"
    status=0
    run_target "$target" || status=$?
    report "$target" "$status"
  done
fi
exit "$failed"
