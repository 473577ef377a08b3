#!/usr/bin/env bash
# Sitegleaner against wget and HTTrack, side by side, in one run.
#
#   bench/run.sh
#
# Installs what is missing (nginx-light, wget, httrack, time, the PostgreSQL
# manual as the real site), builds Sitegleaner in release mode, writes the
# synthetic sites, serves every site with nginx on 127.0.0.1, mirrors each
# site with each tool BENCH_RUNS times (interleaved, so that all tools see
# the same machine), measures each run with /usr/bin/time -v, checks the
# offline fidelity of every mirror (statically, and for some sites in
# headless Chromium, page by page against the served site), runs the
# micro-benchmarks, prints the table and writes docs/BENCHMARKS.md.
#
# Environment (all optional):
#   BENCH_RUNS=3                runs of each tool on each site (medians are reported)
#   BENCH_JOBS=2                parallel build jobs and checker processes
#   BENCH_SITES="s1k s10k pgdoc modern"   (modern: gen_site.py --modern, 46 pages; s100k, 100,000
#                               pages, is run only when named here: never checked in Chromium)
#   BENCH_POLITE_SITES="s1k pgdoc"   sites also mirrored with the default 500 ms Link Pause ("" for none)
#                               (s10k adds about 11 minutes per run)
#   BENCH_PORT_BASE=18180       ports BASE+1.. for the sites
#   BENCH_MICRO=1               0 skips the micro-benchmarks
#   BENCH_TOOLS="sitegleaner wget httrack"   tools run on every site
#   BENCH_WORK=build/bench-work  work directory (sites, nginx, runs)
#   BENCH_REPORT=docs/BENCHMARKS.md   where the report goes
#   BENCH_BROWSER=1             0 skips the check in Chromium (and installing chromium and puppeteer-core)
#   BENCH_BROWSER_SITES="modern pgdoc"   sites checked in Chromium (the last run's mirrors)
#   BENCH_BROWSER_PAGES=50      at most this many pages of each site opened (every k-th page)
#   BENCH_SITEGLEANER=PATH      an existing sitegleaner executable: no build, no micro-benchmarks
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

runs="${BENCH_RUNS:-3}"
jobs="${BENCH_JOBS:-2}"
sites="${BENCH_SITES:-s1k s10k pgdoc modern}"
polite_sites="${BENCH_POLITE_SITES-s1k pgdoc}"
port_base="${BENCH_PORT_BASE:-18180}"
micro="${BENCH_MICRO:-1}"
report="${BENCH_REPORT:-$root/docs/BENCHMARKS.md}"
build="$root/build/bench-release"
work="${BENCH_WORK:-$root/build/bench-work}"
case $work in /*) ;; *) work="$root/$work" ;; esac
tools_all="${BENCH_TOOLS-sitegleaner wget httrack}"
browser="${BENCH_BROWSER:-1}"
browser_sites="${BENCH_BROWSER_SITES-modern pgdoc}"
browser_pages="${BENCH_BROWSER_PAGES:-50}"
prebuilt="${BENCH_SITEGLEANER:-}"
if [ -n "$prebuilt" ]; then
  prebuilt=$(realpath "$prebuilt")
  micro=0
fi
node_dir="$work/node"
# The last puppeteer-core series that runs on Node 18 and 20 (25 wants 22.12).
puppeteer_version=24.43.1
pgdoc_root=/usr/share/doc/postgresql-doc-15/html
started=$(date +%s)

log() { printf '\n== %s\n' "$*"; }

# ---------------------------------------------------------------- packages
log "Packages"
extra=()
if [ "$browser" = 1 ]; then
  extra+=(chromium)
  command -v node >/dev/null || extra+=(nodejs npm)
fi
./scripts/install-deps.sh nginx-light wget httrack time python3 postgresql-doc-15 "${extra[@]}"
if [ "$browser" = 1 ] && [ ! -f "$node_dir/node_modules/puppeteer-core/package.json" ]; then
  # A folder of its own under the work directory: nothing global, and
  # puppeteer-core downloads no browser (Debian's chromium is used).
  mkdir -p "$node_dir"
  npm install --prefix "$node_dir" --no-audit --no-fund --silent "puppeteer-core@$puppeteer_version"
fi

# ---------------------------------------------------------------- build
mkdir -p "$work"
# The commit measured, for the report (the tree may move on while it runs).
dirty=""
[ -n "$(git status --porcelain -- src 2>/dev/null)" ] && dirty=" with uncommitted changes in src/"
if [ -n "$prebuilt" ]; then
  log "Using the existing build $prebuilt (no micro-benchmarks)"
  sitegleaner="$prebuilt"
  # Which sources it was built from is not known here; its date is.
  echo "an existing executable ($prebuilt, built $(date -u -r "$prebuilt" '+%Y-%m-%d %H:%M UTC'); the work" \
    "tree was at $(git rev-parse --short HEAD 2>/dev/null || echo unknown)$dirty" >"$work/commit.txt"
else
  log "Building Sitegleaner (release) and the micro-benchmarks"
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSITEGLEANER_TESTS=OFF >/dev/null
  targets=(sitegleaner)
  if [ "$micro" = 1 ]; then
    targets+=(link_tree_bench scanner_bench engine_bench url_ops_bench local_naming_bench)
  fi
  cmake --build "$build" -j "$jobs" --target "${targets[@]}"
  echo "$(git rev-parse --short HEAD 2>/dev/null || echo unknown)$dirty" >"$work/commit.txt"
  sitegleaner="$build/src/app/sitegleaner"
fi

# ---------------------------------------------------------------- sites
mkdir -p "$work"
declare -A port docroot
i=1
for site in s1k s10k pgdoc modern s100k; do
  port[$site]=$((port_base + i))
  i=$((i + 1))
done
docroot[s1k]="$work/sites/s1k"
docroot[s10k]="$work/sites/s10k"
docroot[s100k]="$work/sites/s100k"
docroot[pgdoc]="$pgdoc_root"
docroot[modern]="$work/sites/modern"
# The modern site's server blocks and its paths that are not plain files.
modern_nginx="$work/sites/modern.nginx"
modern_routes="$work/sites/modern-routes.json"
routes_of() { [ "$1" = modern ] && printf '%s\n' --routes "$modern_routes"; true; }

log "Synthetic sites"
gen_hash=$(sha1sum bench/gen_site.py | cut -c1-40)
for site in $sites; do
  case $site in
    s1k) pages=1000 ;;
    s10k) pages=10000 ;;
    s100k) pages=100000 ;;
    modern) pages=modern ;;
    *) continue ;;
  esac
  stamp="$work/sites/$site.stamp"
  want="$gen_hash $pages ${port[$site]}"
  if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$want" ]; then
    mkdir -p "$work/sites"
    if [ "$site" = modern ]; then
      size=(--modern --nginx-conf "$modern_nginx" --routes "$modern_routes")
    else
      size=(--pages "$pages")
    fi
    python3 bench/gen_site.py "${size[@]}" --out "${docroot[$site]}" \
      --base-url "http://127.0.0.1:${port[$site]}" --page-list "$work/sites/$site-pages.txt"
    echo "$want" >"$stamp"
  fi
  echo "$site: $(wc -l <"$work/sites/$site-pages.txt") pages in ${docroot[$site]}"
done

# ---------------------------------------------------------------- nginx
log "nginx on 127.0.0.1"
ngx="$work/nginx"
mkdir -p "$ngx/tmp"
servers=""
for site in $sites; do
  include=""
  [ "$site" = modern ] && include="include $modern_nginx;"
  servers+="    server {
        listen 127.0.0.1:${port[$site]};
        root ${docroot[$site]};
        access_log $ngx/access-$site.log;
        $include
    }
"
done
user_line=""
if [ "$(id -u)" -eq 0 ]; then user_line="user $(id -un) $(id -gn);"; fi
python3 - "$root/bench/nginx.conf.in" "$ngx/nginx.conf" "$ngx" "$user_line" "$servers" <<'EOF'
import sys
src, dst, work, user, servers = sys.argv[1:]
text = open(src).read().replace("@WORK@", work).replace("@USER_LINE@", user).replace("@SERVERS@", servers)
open(dst, "w").write(text)
EOF
for site in $sites; do
  if (exec 3<>"/dev/tcp/127.0.0.1/${port[$site]}") 2>/dev/null; then
    echo "port ${port[$site]} is taken; set BENCH_PORT_BASE" >&2
    exit 2
  fi
done
rm -f "$ngx"/access-*.log
nginx -c "$ngx/nginx.conf" -p "$ngx" -e "$ngx/error.log" &
nginx_pid=$!
cleanup() { kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; }
trap cleanup EXIT
for site in $sites; do
  for _ in $(seq 100); do
    curl -fs -o /dev/null "http://127.0.0.1:${port[$site]}/" && break
    sleep 0.1
  done
  curl -fs -o /dev/null "http://127.0.0.1:${port[$site]}/" || { echo "nginx does not answer on ${port[$site]}" >&2; exit 2; }
done
echo "nginx pid $nginx_pid, config $ngx/nginx.conf"

# ---------------------------------------------------------------- reference crawl
log "Pages reachable from each root"
for site in $sites; do
  list=()
  [ -f "$work/sites/$site-pages.txt" ] && list=(--page-list "$work/sites/$site-pages.txt")
  mapfile -t routes < <(routes_of "$site")
  python3 bench/check_mirror.py reference --docroot "${docroot[$site]}" \
    --base-url "http://127.0.0.1:${port[$site]}/" "${list[@]}" "${routes[@]}" --out "$work/ref-$site.json"
done

# ---------------------------------------------------------------- runs
# The command of each tool, in the run directory ($out); the mirror goes to
# $out/mirror. Every Sitegleaner run has a settings file of its own.
tool_command() {
  local tool=$1 url=$2 out=$3
  case $tool in
    sitegleaner | sitegleaner-polite)
      local pause=0
      [ "$tool" = sitegleaner-polite ] && pause=500
      printf '%q ' env XDG_CONFIG_HOME="$out/config" "$sitegleaner" -console -q \
        -set "Save Files=1" -set "Save Directory=$out/mirror" -set "Threads=8" -set "Fix Links=1" \
        -set "Create Tree=1" -set "MaxCrawlDepth=10000" -set "Limit Flags=0" -set "Link Pause=$pause" \
        -set "Log File=$out/sitegleaner.log" "$url"
      ;;
    wget)
      printf '%q ' wget --mirror --convert-links --page-requisites --no-parent -nv -o "$out/wget.log" \
        -P "$out/mirror" "$url"
      ;;
    httrack)
      printf '%q ' httrack "$url" -O "$out/mirror" -c8 -%c0 -A1000000000 --disable-security-limits -q -I0
      ;;
  esac
}

mirror_dir() {
  local tool=$1 p=$2 out=$3
  case $tool in
    wget) echo "$out/mirror/127.0.0.1:$p" ;;
    *) echo "$out/mirror/127.0.0.1_$p" ;;
  esac
}

run_one() {
  local site=$1 tool=$2 run=$3
  local p=${port[$site]}
  local url="http://127.0.0.1:$p/"
  local out="$work/runs/$site/$tool/$run"
  rm -rf "$out"
  mkdir -p "$out/config"
  local cmd
  cmd=$(tool_command "$tool" "$url" "$out")
  echo "$cmd" >"$out/command.txt"
  local before after rc=0
  before=$(wc -l <"$ngx/access-$site.log")
  (cd "$out" && eval "/usr/bin/time -v -o $(printf '%q' "$out/time.txt") $cmd" >"$out/stdout.txt" 2>"$out/stderr.txt") || rc=$?
  after=$(wc -l <"$ngx/access-$site.log")
  echo "$rc" >"$out/exit.txt"
  echo $((after - before)) >"$out/requests.txt"
  local sglog=()
  [ -f "$out/sitegleaner.log" ] && sglog=(--sg-log "$out/sitegleaner.log")
  local routes
  mapfile -t routes < <(routes_of "$site")
  python3 bench/check_mirror.py check --mirror "$(mirror_dir "$tool" "$p" "$out")" --ref "$work/ref-$site.json" \
    --docroot "${docroot[$site]}" "${sglog[@]}" "${routes[@]}" --jobs "$jobs" --out "$out/check.json" >"$out/check.txt"
  local wall
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$out/time.txt")
  printf '%-6s %-19s run %s: exit %s, wall %s, %s requests; %s\n' "$site" "$tool" "$run" "$rc" "$wall" \
    "$((after - before))" "$(cat "$out/check.txt")"
  # The last run's mirror is kept for a look; the others only take space.
  if [ "$run" != "$runs" ]; then rm -rf "$out/mirror"; fi
}

log "Mirroring: $runs runs of each tool on each site"
rm -rf "$work/runs"
for run in $(seq "$runs"); do
  for site in $sites; do
    read -r -a tools <<<"$tools_all"
    case " $polite_sites " in *" $site "*) tools+=(sitegleaner-polite) ;; esac
    # A different order each run, so that no tool always goes first.
    n=${#tools[@]}
    for k in $(seq 0 $((n - 1))); do
      run_one "$site" "${tools[$(((k + run - 1) % n))]}" "$run"
    done
  done
done

# ---------------------------------------------------------------- in a browser
rm -f "$work"/browser-*.json
if [ "$browser" = 1 ]; then
  for site in $browser_sites; do
    case " $sites " in *" $site "*) ;; *) continue ;; esac
    # Opening a sample of 100,000 pages tells no more than s10k does, at ten times the reference crawl.
    [ "$site" = s100k ] && continue
    log "In Chromium: $site, live against each tool's last mirror"
    mirrors=()
    for tool in $tools_all; do
      d=$(mirror_dir "$tool" "${port[$site]}" "$work/runs/$site/$tool/$runs")
      [ -d "$d" ] && mirrors+=(--mirror "$tool=$d")
    done
    mapfile -t routes < <(routes_of "$site")
    # The figures do not depend on speed, so the browser yields to the rest.
    nice -n 10 python3 bench/browser_fidelity.py --ref "$work/ref-$site.json" --docroot "${docroot[$site]}" \
      "${routes[@]}" "${mirrors[@]}" --pages "$browser_pages" --modules "$node_dir" --jobs "$jobs" \
      --out "$work/browser-$site.json" | tee "$work/browser-$site.txt"
  done
fi

# ---------------------------------------------------------------- micro-benchmarks
mkdir -p "$work/micro"
rm -f "$work/micro"/*
if [ "$micro" = 1 ]; then
  log "Micro-benchmarks"
  for b in link_tree_bench scanner_bench url_ops_bench local_naming_bench; do
    "$build/bench/$b" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
      --benchmark_out="$work/micro/$b.json" --benchmark_out_format=json | tee "$work/micro/$b.txt"
  done
  "$build/bench/engine_bench" 5000 400 8 | tee "$work/micro/engine_bench.txt"
fi

# ---------------------------------------------------------------- report
log "Report"
elapsed=$(($(date +%s) - started))
python3 bench/report.py --work "$work" --sites "$sites" --polite-sites "$polite_sites" --runs "$runs" \
  --sitegleaner "$sitegleaner" --elapsed "$elapsed" --out "$report"
echo
echo "Written to $report (the whole command took $((elapsed / 60)) min $((elapsed % 60)) s)"
