#!/usr/bin/env bash
# The two commands of the project:
#   ./dev.sh test   install what is missing, build, run the whole suite (default and asan)
#   ./dev.sh run    install what is missing, build, start the host
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
    for preset in default asan; do
        echo "=== $preset: build"
        build "$preset"
        echo "=== $preset: test"
        ctest --preset "$preset" -j "$(nproc)"
    done
}

run_host() {
    build default
    local host=build/default/src/app/nelvo-host
    [ -x "$host" ] || die "the host program is not built yet (src/app has not landed); nothing to run"
    exec "$host" "$@"
}

case "${1:-}" in
    test) install_packages; run_tests ;;
    run) shift; install_packages; run_host "$@" ;;
    *) echo "usage: ./dev.sh test | ./dev.sh run" >&2; exit 2 ;;
esac
