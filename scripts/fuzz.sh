#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a fixed time
# (default 60 s; FUZZ_SECONDS changes it), starting from the seed corpora
# in fuzz/corpus/. New inputs go to build/fuzz-corpus/, not to the seeds.
# Any crash, hang, leak or sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-60}"
jobs="${SITEGLEANER_JOBS:-2}"
./scripts/install-deps.sh clang-14 libclang-rt-14-dev

CC=clang-14 CXX=clang++-14 cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSITEGLEANER_FUZZ=ON \
  -DSITEGLEANER_GUI=OFF -DSITEGLEANER_TESTS=OFF -DSITEGLEANER_BENCH=OFF >/dev/null
targets=(html_scanner_fuzz find_attribute_fuzz url_fuzz local_naming_fuzz robots_fuzz profile_fuzz
         url_list_fuzz shortcut_fuzz response_head_fuzz)
cmake --build build/fuzz -j "$jobs" --target "${targets[@]}"

failed=0
for target in "${targets[@]}"; do
  corpus="build/fuzz-corpus/${target}"
  mkdir -p "$corpus"
  seeds="fuzz/corpus/${target}"
  echo "== ${target} for ${seconds} s"
  if ! ./build/fuzz/fuzz/"$target" "$corpus" "$seeds" -max_total_time="$seconds" -timeout=10 \
       -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="build/fuzz-corpus/${target}-" \
       >"build/fuzz-corpus/${target}.log" 2>&1; then
    echo "FAILED: ${target} (see build/fuzz-corpus/${target}.log)"
    tail -40 "build/fuzz-corpus/${target}.log"
    failed=1
  else
    grep -E "stat::number_of_executed_units|cov:" "build/fuzz-corpus/${target}.log" | tail -2
  fi
done
exit "$failed"
