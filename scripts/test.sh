#!/usr/bin/env bash
# Builds Tavorine and runs every test on Wine, in a throwaway prefix made for this run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAVORINE_BUILD:-$root/build}

bash "$root/scripts/setup.sh"
. "$root/scripts/common.sh"
build_tree "$root" "$build"

export WINEPREFIX="$build/test-prefix"
cleanup() {
    wineserver -k 2>/dev/null || true
    stop_xvfb
}
trap cleanup EXIT

start_xvfb_if_needed
echo "test: creating the Wine prefix $WINEPREFIX"
make_test_prefix "$WINEPREFIX"

start_wineserver
ctest --test-dir "$build" --output-on-failure "$@"
