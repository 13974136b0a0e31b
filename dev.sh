#!/usr/bin/env bash
# The two commands of the project:
#   ./dev.sh test   install what is missing, build, run the whole suite (default and asan)
#   ./dev.sh run    install what is missing, build, start the host (headless, in the foreground)
set -euo pipefail
cd "$(dirname "$0")"

die() { echo "dev.sh: $*" >&2; exit 1; }

install_packages() {
    local wanted=() missing=()
    mapfile -t wanted < <(grep -v '^\s*#' debian-packages.txt | grep -v '^\s*$')
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "dev.sh: installing ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

build() {
    local preset=$1
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
}

run_tests() {
    local preset
    for preset in default asan tsan; do
        echo "=== $preset: build"
        build "$preset"
        echo "=== $preset: test"
        ctest --preset "$preset" -j "$(nproc)"
    done
    run_fuzzers
}

# Every harness runs for a bounded time from its seed corpus, so each run exercises them all.
run_fuzzers() {
    local seconds=${NELVO_FUZZ_SECONDS:-20} name work
    echo "=== fuzz: build"
    build fuzz
    while read -r name; do
        [ -n "$name" ] || continue
        work=build/fuzz/corpus/$name
        mkdir -p "$work"
        [ -d "fuzz/corpus/$name" ] && cp -n fuzz/corpus/"$name"/* "$work"/ 2>/dev/null || true
        echo "=== fuzz: $name for ${seconds}s"
        "build/fuzz/fuzz/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -print_final_stats=0 "$work" 2>build/fuzz/"$name".log \
            || { tail -50 build/fuzz/"$name".log; die "fuzzer $name failed"; }
        grep -E '^(#[0-9]+ +DONE|Done [0-9]+ runs)' build/fuzz/"$name".log | tail -1 || true
    done < build/fuzz/fuzzers.txt
}

run_host() {
    build default
    local bin=build/default/bin
    local host=$bin/nelvo-host
    [ -x "$host" ] || die "the host program was not built"
    # A fresh installation signs out of the box: the demo CA and user when the key store is empty.
    local keytool=$bin/nelvo-keytool
    local store=${NELVO_KEYSTORE:-$HOME/.local/share/NelvoPlugin/keys}
    if [ -x "$keytool" ] && [ -z "$(ls -A "$store" 2>/dev/null)" ]; then
        "$keytool" demo
    fi
    # A first run gets a settings file that turns the log on, so there is something to read.
    local ini=${XDG_CONFIG_HOME:-$HOME/.config}/Nelvo/NelvoPlugin/nelvo-host.ini
    if [ ! -f "$bin/nelvo-host.ini" ] && [ ! -f "$ini" ]; then
        mkdir -p "$(dirname "$ini")" "$PWD/$bin/Logs"
        printf '[Log]\nFileName=%s\n' "$PWD/$bin/Logs/nelvo-host.log" > "$ini"
        echo "dev.sh: wrote $ini (log file $PWD/$bin/Logs/nelvo-host.log)"
    fi
    local ca=$PWD/build/default/nelvo-local-ca.pem
    "$host" --export-ca "$ca" >/dev/null || die "could not make the TLS material"
    cat <<EOT
dev.sh: the local CA certificate is $ca
        trust it in Chromium/Firefox profiles:  $host --install-ca
        or with curl:  curl --cacert $ca -H 'Origin: https://nelvo-plugin.localhost' \\
                         https://nelvo-plugin.localhost:11742/api/v1/version
        end the host:  Ctrl+C, or  $host exit  from another terminal
EOT
    exec "$host" --headless "$@"
}

case "${1:-}" in
    test) install_packages; run_tests ;;
    run) shift; install_packages; run_host "$@" ;;
    *) echo "usage: ./dev.sh test | ./dev.sh run" >&2; exit 2 ;;
esac
