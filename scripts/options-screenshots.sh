#!/usr/bin/env bash
# Takes a screenshot of every page of the options sheet, filled with sample
# settings, under a virtual X server, into docs/screenshots/options-<page>.png.
# Needs xvfb and imagemagick (installed when missing).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh xvfb xauth imagemagick
# An existing build tree (SITEGLEANER_SHOTS_BUILD) is used as it is configured.
build="${SITEGLEANER_SHOTS_BUILD:-build/options-shots}"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DSITEGLEANER_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j "${SITEGLEANER_JOBS:-2}" --target options_screenshots

work="$PWD/build/options-screenshots"
rm -rf "$work"
mkdir -p "$work" docs/screenshots
pages=(limits filter depth save excluded-urls security)

export OPTIONS_SHOTS_BIN="$PWD/$build/tests/ui/options_screenshots"
export OPTIONS_SHOTS_WORK="$work"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -euo pipefail
  index=0
  for page in '"${pages[*]}"'; do
    rm -f "$OPTIONS_SHOTS_WORK/id"
    "$OPTIONS_SHOTS_BIN" "$OPTIONS_SHOTS_WORK/settings.conf" "$index" "$OPTIONS_SHOTS_WORK/id" &
    app=$!
    for _ in $(seq 200); do [ -s "$OPTIONS_SHOTS_WORK/id" ] && break; sleep 0.05; done
    import -window "$(cat "$OPTIONS_SHOTS_WORK/id")" "docs/screenshots/options-$page.png"
    kill $app
    wait $app 2>/dev/null || true
    echo "Wrote docs/screenshots/options-$page.png"
    index=$((index + 1))
  done
'
