#!/usr/bin/env bash
# Installs what is missing, builds Sitegleaner in release mode, serves the
# bundled sample site on 127.0.0.1 and crawls it in console mode with
# saving on. Prints where the mirror is and how to open it offline.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs="${SITEGLEANER_JOBS:-2}"
./scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DSITEGLEANER_TESTS=OFF -DSITEGLEANER_BENCH=OFF >/dev/null
cmake --build build/release -j "$jobs" --target sitegleaner sample_site_server

work="$PWD/build/sample"
mirror="$work/mirror"
mkdir -p "$work/config"
rm -rf "$mirror" "$work/port"

./build/release/examples/sample_site_server --port-file "$work/port" >"$work/server.log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
port=$(cat "$work/port")

# A settings file of its own, so that the sample never changes yours.
XDG_CONFIG_HOME="$work/config" SITEGLEANER_VERSION_SERVER=127.0.0.1:9 ./build/release/src/app/sitegleaner -console -q \
  -set "Save Files=1" -set "Save Directory=$mirror" -set "MaxCrawlDepth=3" \
  -set "Log File=$work/sitegleaner.log" \
  "http://127.0.0.1:$port/"

echo
echo "Open $mirror/127.0.0.1_$port/default.html in a web browser to browse the copy offline."
