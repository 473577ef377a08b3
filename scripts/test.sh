#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: once in a
# normal build (then installed into a scratch prefix and checked as a
# desktop would see it), then again under AddressSanitizer with
# UndefinedBehaviorSanitizer and under ThreadSanitizer (the window's tests
# included, on the offscreen platform), compiles with clang to check the
# lock annotations, and runs every fuzz target for a minute.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs="${SITEGLEANER_JOBS:-2}"
export QT_QPA_PLATFORM=offscreen

# Beside the build's own packages, the validators of the installed files,
# and the HTTP/2 server (with openssl for its certificate) of the tests.
./scripts/install-deps.sh desktop-file-utils appstream libxml2-utils groff-base dpkg-dev nginx-light openssl

configure_and_test() {
  local dir="$1"; shift
  cmake -S . -B "$dir" -DSITEGLEANER_BENCH=OFF "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

echo "== Tests"
configure_and_test build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo

echo "== Installed files"
prefix=$(mktemp -d)
home=$(mktemp -d)
cmake --install build/test --prefix "$prefix" >/dev/null
desktop-file-validate "$prefix"/share/applications/*.desktop
appstreamcli validate --no-net "$prefix"/share/metainfo/*.metainfo.xml
xmllint --noout "$prefix"/share/mime/packages/*.xml "$prefix"/share/icons/hicolor/scalable/apps/*.svg
# The manual page formats without a warning.
warnings=$(groff -man -Tutf8 -ww -z "$prefix/share/man/man1/sitegleaner.1" 2>&1)
if [ -n "$warnings" ]; then
  echo "$warnings"
  exit 1
fi
# The installed program crawls the sample site in console mode into a copy
# that browses offline.
build/test/examples/sample_site_server --port-file "$home/port" >/dev/null 2>&1 &
server=$!
for _ in $(seq 100); do [ -s "$home/port" ] && break; sleep 0.05; done
port=$(cat "$home/port")
status=0
HOME="$home" XDG_CONFIG_HOME="$home" SITEGLEANER_VERSION_SERVER=127.0.0.1:9 timeout 120 "$prefix/bin/sitegleaner" \
  -console -q -set "Save Files=1" -set "Save Directory=$home/mirror" -set "Link Pause=0" -set "MaxCrawlDepth=3" \
  "http://127.0.0.1:$port/" >"$home/crawl.log" 2>&1 || status=$?
kill "$server" 2>/dev/null || true
wait "$server" 2>/dev/null || true
if [ "$status" -ne 0 ] || [ ! -s "$home/mirror/127.0.0.1_$port/default.html" ]; then
  cat "$home/crawl.log"
  echo "The installed program did not crawl the sample site (status $status)"
  exit 1
fi
# The installed program finds its desktop module: without it the window
# ends at once with status 2; with it the window stays open until stopped.
status=0
HOME="$home" XDG_CONFIG_HOME="$home" timeout 5 "$prefix/bin/sitegleaner" >/dev/null 2>&1 || status=$?
rm -rf "$prefix" "$home"
if [ "$status" -ne 124 ]; then
  echo "The installed program did not open its window (status $status)"
  exit 1
fi
echo "Installed files validate; the installed program crawls the sample site and opens its window"
# The Debian package builds (some seconds) and depends on what the program links.
packages=$(mktemp -d)
if ! output=$(cpack --config build/test/CPackConfig.cmake -B "$packages" 2>&1); then
  echo "$output"
  exit 1
fi
depends=$(dpkg-deb -f "$packages"/sitegleaner_*.deb Depends)
rm -rf "$packages"
for library in libcurl4 libqt6widgets6 libsqlite3-0; do
  if [[ "$depends" != *"$library"* ]]; then
    echo "The Debian package does not depend on $library: $depends"
    exit 1
  fi
done
echo "The Debian package builds"

echo "== Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  configure_and_test build/asan -DCMAKE_BUILD_TYPE=Debug -DSITEGLEANER_ASAN=ON

echo "== Tests under ThreadSanitizer"
# Qt is not built with the sanitizer: its own locks (futexes) are invisible,
# so what Qt does inside itself is left out. Every access of our code, and
# every lock it takes, is still checked.
TSAN_OPTIONS="second_deadlock_stack=1 ignore_noninstrumented_modules=1" \
  configure_and_test build/tsan -DCMAKE_BUILD_TYPE=Debug -DSITEGLEANER_TSAN=ON

echo "== Lock annotations, checked by clang"
# Only compiles: -Werror=thread-safety fails on a guarded member touched
# without its lock.
./scripts/install-deps.sh clang-14
CC=clang-14 CXX=clang++-14 cmake -S . -B build/locks -DCMAKE_BUILD_TYPE= -DCMAKE_CXX_FLAGS=-O0 \
  -DSITEGLEANER_TESTS=OFF -DSITEGLEANER_BENCH=OFF >/dev/null
cmake --build build/locks -j "$jobs" --target sitegleaner sitegleaner_desktop

echo "== Fuzz targets, ${FUZZ_SECONDS:-60} s each, side by side"
FUZZ_SECONDS="${FUZZ_SECONDS:-60}" FUZZ_PARALLEL=1 ./scripts/fuzz.sh
