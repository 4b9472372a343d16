#!/usr/bin/env bash
# The benchmark, in one command: builds, makes its own Wine prefix, runs on Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAVORINE_BUILD:-$root/build}

bash "$root/scripts/setup.sh"
. "$root/scripts/common.sh"
build_tree "$root" "$build" Tavorine ref_dialog bench

unset DISPLAY
open_sandbox "$build/bench-prefix"
echo "$("$WINE" --version)${WINE_WOW64:+ (new WoW64)}, $(nproc) cores, $(date -u +%Y-%m-%d)"
"$WINE" "$build/bench/bench.exe"
