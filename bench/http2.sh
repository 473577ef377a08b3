#!/usr/bin/env bash
# How many connections a crawl opens, over HTTP/1.1 and over HTTP/2: the
# PostgreSQL manual served by nginx on 127.0.0.1 twice, plain and over TLS
# with HTTP/2 (a certificate made here), mirrored by Sitegleaner with eight
# workers. Prints requests, distinct connections, protocols, wall and CPU.
#
#   bench/http2.sh [path/to/sitegleaner]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
sitegleaner="${1:-$root/build/test/src/app/sitegleaner}"
site=/usr/share/doc/postgresql-doc-15/html
"$root/scripts/install-deps.sh" nginx-light openssl postgresql-doc-15 time
work="$(mktemp -d /tmp/sitegleaner-http2-XXXXXX)"
trap 'kill "$(cat "$work/nginx.pid" 2>/dev/null)" 2>/dev/null || true; rm -rf "$work"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
user=""
[ "$(id -u)" -eq 0 ] && user="user root;"
cat > "$work/nginx.conf" <<CONF
$user
daemon on;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 1024; }
http {
  include /etc/nginx/mime.types;
  log_format log '\$connection \$server_protocol \$request_uri';
  client_body_temp_path $work/body;
  proxy_temp_path $work/proxy;
  fastcgi_temp_path $work/fastcgi;
  uwsgi_temp_path $work/uwsgi;
  scgi_temp_path $work/scgi;
  keepalive_requests 1000000;
  server { listen 127.0.0.1:18291; root $site; access_log $work/plain.log log; }
  server {
    listen 127.0.0.1:18292 ssl http2;
    ssl_certificate $work/cert.pem;
    ssl_certificate_key $work/key.pem;
    root $site;
    access_log $work/tls.log log;
  }
}
CONF
nginx -p "$work" -e "$work/error.log" -c "$work/nginx.conf"

printf '%-28s %8s %11s %-22s %7s %7s\n' url requests connections protocols wall_s cpu_s
for url in http://127.0.0.1:18291/index.html https://127.0.0.1:18292/index.html; do
  out="$work/run-${url%%:*}"
  mkdir -p "$out"
  env XDG_CONFIG_HOME="$out/config" CURL_CA_BUNDLE="$work/cert.pem" /usr/bin/time -f "%e %U %S" -o "$out/time" \
    "$sitegleaner" -console -q -set "Save Files=1" -set "Save Directory=$out/mirror" -set "Threads=8" \
    -set "Fix Links=1" -set "MaxCrawlDepth=10000" -set "Limit Flags=0" -set "Link Pause=0" "$url" >/dev/null 2>&1
  log="$work/plain.log"
  [ "${url%%:*}" = https ] && log="$work/tls.log"
  read -r wall user sys < "$out/time"
  printf '%-28s %8s %11s %-22s %7s %7s\n' "${url%/index.html}" "$(wc -l < "$log")" \
    "$(cut -d' ' -f1 "$log" | sort -u | wc -l)" "$(cut -d' ' -f2 "$log" | sort | uniq -c | xargs)" \
    "$wall" "$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')"
done
