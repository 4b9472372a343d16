#!/usr/bin/env bash
# The benchmark, in one command: builds, makes its own Wine prefix, runs on Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAVORINE_BUILD:-$root/build}

bash "$root/scripts/setup.sh"
. "$root/scripts/common.sh"
build_tree "$root" "$build" Tavorine ref_dialog bench

unset DISPLAY
export WINEPREFIX="$build/bench-prefix"
cleanup() {
    wineserver -k 2>/dev/null || true
    stop_xvfb
}
trap cleanup EXIT
start_xvfb_if_needed
make_test_prefix "$WINEPREFIX"
start_wineserver
echo "$(wine --version), $(nproc) cores, $(date -u +%Y-%m-%d)"
wine "$build/bench/bench.exe"
