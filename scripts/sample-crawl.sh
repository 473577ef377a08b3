#!/usr/bin/env bash
# Installs what is missing, builds Sitegleaner in release mode and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs="${SITEGLEANER_JOBS:-2}"
./scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DSITEGLEANER_TESTS=OFF -DSITEGLEANER_BENCH=OFF >/dev/null
cmake --build build/release -j "$jobs" --target sitegleaner
./build/release/src/app/sitegleaner -help
