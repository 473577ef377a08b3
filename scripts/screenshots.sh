#!/usr/bin/env bash
# Takes screenshots of the main window during a crawl of the sample site and
# after one, under a virtual X server, into docs/screenshots/. Needs xvfb and
# imagemagick (installed when missing).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh xvfb xauth imagemagick
# An existing build tree (SITEGLEANER_SHOTS_BUILD) is used as it is configured.
build="${SITEGLEANER_SHOTS_BUILD:-build/release}"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DSITEGLEANER_TESTS=OFF -DSITEGLEANER_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j "${SITEGLEANER_JOBS:-2}" --target sitegleaner sample_site_server

work="$PWD/build/screenshots"
rm -rf "$work"
mkdir -p "$work/config" docs/screenshots
# No conditions-of-use dialog in the way: this release was shown already.
mkdir -p "$work/config/Corvalin"
printf '[Legal]\nShown%%20Disclaimer=640\n' >"$work/config/Corvalin/Sitegleaner.conf"

./$build/examples/sample_site_server --port-file "$work/port" >"$work/server.log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
port=$(cat "$work/port")

# During: a slow crawl, caught while its threads are busy. After: a fast
# crawl into another folder, given time to end.
XDG_CONFIG_HOME="$work/config" SITEGLEANER_VERSION_SERVER=127.0.0.1:9 xvfb-run -a -s "-screen 0 900x640x24" bash -c "
  ./$build/src/app/sitegleaner -set 'Save Files=1' -set 'Save Directory=$work/mirror' \
      -set 'Link Pause=700' -set 'Threads=2' http://127.0.0.1:$port/ &
  app=\$!
  sleep ${SHOT_DELAY:-4}
  import -window root docs/screenshots/main-window.png
  kill \$app
  ./$build/src/app/sitegleaner -set 'Save Files=1' -set 'Save Directory=$work/mirror-done' \
      -set 'Link Pause=0' http://127.0.0.1:$port/ &
  app=\$!
  sleep ${DONE_DELAY:-12}
  import -window root docs/screenshots/main-window-done.png
  kill \$app
"
echo "Wrote docs/screenshots/main-window.png and main-window-done.png"
