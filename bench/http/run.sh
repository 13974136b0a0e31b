#!/usr/bin/env bash
# HTTP and HTTPS throughput, latency and memory of nelvo-host against nginx, in one run.
#
#   bench/http/run.sh [BUILD_DIR]        (default: build/default; use an optimised build)
#
# Both servers run on loopback and answer GET /api/v1/version with the same bytes, one request
# per connection (the host's HTTP/1.0 exchange; nginx with keep-alive off). wrk drives each at
# 1, 16 and 64 connections, first over HTTP, then over HTTPS with a full handshake per request.
# The script prints requests/s, p50 and p99 latency, the host/nginx ratios against the goals,
# and the host's resident memory idle and under load. It installs wrk and nginx when missing
# (apt-get, as root or through sudo). It is a benchmark, not a test: nothing here fails a build.
#
# Environment: NELVO_BENCH_SECONDS (default 10) per wrk run; NELVO_BENCH_KEEP=1 keeps the
# working folder with wrk's output of every run.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
HERE="$ROOT/bench/http"
BUILD_DIR=$(cd "${1:-$ROOT/build/default}" && pwd)
HOST_BIN="$BUILD_DIR/bin/nelvo-host"
RUN_SECONDS=${NELVO_BENCH_SECONDS:-10}
CONNECTIONS=(1 16 64)
ORIGIN="https://www.zrb.example"
SERVICE_HOST="nelvo-plugin.localhost"

die() { echo "run.sh: $*" >&2; exit 1; }

# --- setup ----------------------------------------------------------------------------------------

install_missing() {
    local missing=()
    command -v wrk >/dev/null || missing+=(wrk)
    command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || missing+=(nginx)
    command -v curl >/dev/null || missing+=(curl)
    command -v cc >/dev/null || missing+=(gcc)
    [ -f /usr/include/openssl/ssl.h ] || missing+=(libssl-dev)
    [ ${#missing[@]} -eq 0 ] && return
    echo "Installing ${missing[*]} ..."
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
}

install_missing
NGINX=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$HOST_BIN" ] || die "no program at $HOST_BIN (build the nelvo-host target first)"
[ -e "$BUILD_DIR/bin/nelvo-host.ini" ] &&
    die "$BUILD_DIR/bin/nelvo-host.ini lies beside the program and would replace the benchmark's settings"

WORK=$(mktemp -d /tmp/nelvo-bench-XXXXXX)
HOST_PID=""
NGINX_PID=""
SAMPLER_PID=""

stop_pid() {  # pid: SIGTERM, then SIGKILL after 10 s
    local pid=$1
    [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 0
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

cleanup() {
    stop_pid "$SAMPLER_PID"
    stop_pid "$HOST_PID"
    stop_pid "$NGINX_PID"
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

port_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# Four consecutive free ports below the ephemeral range, so wrk's own connections never take them.
pick_ports() {
    local base
    for _ in $(seq 200); do
        base=$((20000 + RANDOM % 12000))
        if port_free "$base" && port_free $((base + 1)) && port_free $((base + 2)) && port_free $((base + 3)); then
            echo "$base"
            return
        fi
    done
    die "no free ports found"
}

wait_url() {  # url, curl options...: waits up to 20 s for a 200
    local url=$1; shift
    for _ in $(seq 200); do
        curl -sf -o /dev/null -H "Origin: $ORIGIN" "$@" "$url" && return 0
        sleep 0.1
    done
    die "no answer from $url"
}

rss_kib() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
hwm_kib() { awk '/^VmHWM:/ {print $2}' "/proc/$1/status"; }

BASE=$(pick_ports)
HOST_HTTP=$BASE
HOST_HTTPS=$((BASE + 1))
NGINX_HTTP=$((BASE + 2))
NGINX_HTTPS=$((BASE + 3))

# The host in a private sandbox, headless, without a log (the shipped default).
mkdir -p "$WORK/home/.config/Nelvo/NelvoPlugin" "$WORK/run" "$WORK/tmp"
chmod 700 "$WORK/run"
printf '[Server_HTTP]\nPort=%s\n\n[Server_HTTPS]\nPort=%s\n' "$HOST_HTTP" "$HOST_HTTPS" \
    >"$WORK/home/.config/Nelvo/NelvoPlugin/nelvo-host.ini"
HOST_ENV=(env -u DISPLAY -u WAYLAND_DISPLAY -u TMP -u TEMP -u APPDATA -u LOCALAPPDATA
          HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" XDG_DATA_HOME="$WORK/home/.local/share"
          XDG_RUNTIME_DIR="$WORK/run" TMPDIR="$WORK/tmp")
"${HOST_ENV[@]}" "$HOST_BIN" --export-ca "$WORK/ca.pem" >"$WORK/export.out" 2>&1 ||
    die "--export-ca failed: $(cat "$WORK/export.out")"
"${HOST_ENV[@]}" "$HOST_BIN" --headless >"$WORK/host.out" 2>&1 &
HOST_PID=$!
wait_url "http://127.0.0.1:$HOST_HTTP/api/v1/version"
wait_url "https://$SERVICE_HOST:$HOST_HTTPS/api/v1/version" --cacert "$WORK/ca.pem"

# nginx with the host's own reply body and an EC P-256 certificate like the host's.
curl -s -H "Origin: $ORIGIN" "http://127.0.0.1:$HOST_HTTP/api/v1/version" >"$WORK/body"
BODY=$(sed -e 's/[\\'"'"']/\\&/g' -e 's/[&|]/\\&/g' "$WORK/body")
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 \
    -subj "/CN=$SERVICE_HOST" -addext "subjectAltName=DNS:$SERVICE_HOST" \
    -keyout "$WORK/nginx-key.pem" -out "$WORK/nginx-cert.pem" 2>/dev/null
sed -e "s|@WORK@|$WORK|g" -e "s|@HTTP_PORT@|$NGINX_HTTP|g" -e "s|@HTTPS_PORT@|$NGINX_HTTPS|g" \
    -e "s|@ORIGIN@|$ORIGIN|g" -e "s|@BODY@|$BODY|g" "$HERE/nginx.conf.template" >"$WORK/nginx.conf"
"$NGINX" -c "$WORK/nginx.conf" -p "$WORK" >"$WORK/nginx.out" 2>&1 &
NGINX_PID=$!
wait_url "http://127.0.0.1:$NGINX_HTTP/api/v1/version"
cmp -s "$WORK/body" <(curl -s -H "Origin: $ORIGIN" "http://127.0.0.1:$NGINX_HTTP/api/v1/version") ||
    die "nginx does not serve the host's reply body"

cc -O2 -shared -fPIC -o "$WORK/no_resume.so" "$HERE/no_resume.c" -ldl

tls_version() {  # port: the protocol and group a default client negotiates
    openssl s_client -brief -connect "127.0.0.1:$1" -servername "$SERVICE_HOST" </dev/null 2>&1 |
        awk -F': ' '/^Protocol version/ {p = $2} /^(Negotiated TLS1.3 group|Server Temp Key)/ {g = $2}
                    END {print p ", " g}'
}
echo "TLS: host $(tls_version "$HOST_HTTPS"); nginx $(tls_version "$NGINX_HTTPS")"

# --- measuring ------------------------------------------------------------------------------------

to_ms() {  # wrk latency text (850.00us, 1.20ms, 2.00s) in milliseconds
    awk -v v="$1" 'BEGIN {
        if (v ~ /us$/) { sub(/us$/, "", v); printf "%.3f", v / 1000 }
        else if (v ~ /ms$/) { sub(/ms$/, "", v); printf "%.3f", v }
        else if (v ~ /m$/) { sub(/m$/, "", v); printf "%.3f", v * 60000 }
        else { sub(/s$/, "", v); printf "%.3f", v * 1000 } }'
}

# run_wrk NAME URL CONNECTIONS PRELOAD: leaves "rps p50 p99 errors" in $WORK/NAME.result
run_wrk() {
    local name=$1 url=$2 conns=$3 preload=$4 threads=2
    [ "$conns" -lt 2 ] && threads=1
    env ${preload:+LD_PRELOAD="$preload"} wrk -t"$threads" -c"$conns" -d"${RUN_SECONDS}s" --latency \
        -H "Origin: $ORIGIN" -H "Connection: close" "$url" >"$WORK/$name.wrk" 2>&1
    local rps p50 p99 errors
    rps=$(awk '/^Requests\/sec:/ {print $2}' "$WORK/$name.wrk")
    p50=$(to_ms "$(awk '$1 == "50%" {print $2}' "$WORK/$name.wrk")")
    p99=$(to_ms "$(awk '$1 == "99%" {print $2}' "$WORK/$name.wrk")")
    errors=$(awk '/Socket errors:/ {n = 0; for (i = 3; i <= NF; i += 2) n += $(i + 1) + 0; print n}
                  /Non-2xx/ {print $NF}' "$WORK/$name.wrk" | awk '{s += $1} END {print s + 0}')
    echo "$rps $p50 $p99 $errors" >"$WORK/$name.result"
}

sample_rss() {  # background: the host's largest RSS while the load runs
    local max=0 now
    while kill -0 "$HOST_PID" 2>/dev/null; do
        now=$(rss_kib "$HOST_PID" 2>/dev/null || echo 0)
        [ "${now:-0}" -gt "$max" ] && max=$now && echo "$max" >"$WORK/rss-max"
        sleep 0.1
    done
}

sleep 2
IDLE_RSS=$(rss_kib "$HOST_PID")
echo 0 >"$WORK/rss-max"
sample_rss &
SAMPLER_PID=$!

echo "Measuring ${RUN_SECONDS}s per run: host HTTP $HOST_HTTP / HTTPS $HOST_HTTPS, nginx $NGINX_HTTP / $NGINX_HTTPS"
for proto in http https; do
    for c in "${CONNECTIONS[@]}"; do
        if [ "$proto" = http ]; then
            host_url="http://127.0.0.1:$HOST_HTTP/api/v1/version"
            nginx_url="http://127.0.0.1:$NGINX_HTTP/api/v1/version"
            preload=""
        else
            host_url="https://$SERVICE_HOST:$HOST_HTTPS/api/v1/version"
            nginx_url="https://$SERVICE_HOST:$NGINX_HTTPS/api/v1/version"
            preload="$WORK/no_resume.so"
        fi
        run_wrk "host-$proto-$c" "$host_url" "$c" "$preload"
        sleep 1
        run_wrk "nginx-$proto-$c" "$nginx_url" "$c" "$preload"
        sleep 1
        echo "  $proto c=$c done"
    done
done
kill -0 "$HOST_PID" 2>/dev/null || die "the host ended during the benchmark: $(cat "$WORK/host.out")"
LOAD_RSS=$(cat "$WORK/rss-max")
HWM_RSS=$(hwm_kib "$HOST_PID")
stop_pid "$SAMPLER_PID"
SAMPLER_PID=""

# --- report ---------------------------------------------------------------------------------------

echo
echo "| protocol | connections | host req/s | nginx req/s | throughput ratio (goal >= 0.50) | host p50 ms | nginx p50 ms | host p99 ms | nginx p99 ms | p99 ratio (goal <= 2.00) | errors host/nginx |"
echo "|---|---|---|---|---|---|---|---|---|---|---|"
FAILED=0
for proto in http https; do
    for c in "${CONNECTIONS[@]}"; do
        read -r hr h50 h99 he <"$WORK/host-$proto-$c.result"
        read -r nr n50 n99 ne <"$WORK/nginx-$proto-$c.result"
        line=$(awk -v p="${proto^^}" -v c="$c" -v hr="$hr" -v nr="$nr" -v h50="$h50" -v n50="$n50" \
                   -v h99="$h99" -v n99="$n99" -v he="$he" -v ne="$ne" 'BEGIN {
            tr = nr > 0 ? hr / nr : 0; lr = n99 > 0 ? h99 / n99 : 0
            tm = tr >= 0.5 ? "" : " **missed**"; lm = lr <= 2.0 ? "" : " **missed**"
            printf "| %s | %d | %.0f | %.0f | %.2f%s | %.3f | %.3f | %.3f | %.3f | %.2f%s | %d/%d |",
                   p, c, hr, nr, tr, tm, h50, n50, h99, n99, lr, lm, he, ne }')
        echo "$line"
        case "$line" in *missed*) FAILED=1 ;; esac
    done
done
echo
awk -v i="$IDLE_RSS" -v l="$LOAD_RSS" -v h="$HWM_RSS" 'BEGIN {
    printf "Host resident memory: idle %.1f MiB (goal < 15 MiB%s), under load %.1f MiB (peak VmHWM %.1f MiB)\n",
           i / 1024, i / 1024 < 15 ? "" : ", **missed**", l / 1024, h / 1024 }'
[ "$FAILED" -eq 0 ] && echo "All throughput and latency goals met." || echo "Some goals missed (marked above)."
if [ "${NELVO_BENCH_KEEP:-0}" = 1 ]; then
    # Keep wrk's own output of every run for a closer look.
    trap - EXIT
    stop_pid "$HOST_PID"
    stop_pid "$NGINX_PID"
    echo "wrk output of every run kept in $WORK"
fi
