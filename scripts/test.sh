#!/usr/bin/env bash
# Builds Tavorine and runs every test on Wine, in a throwaway prefix made for this run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAVORINE_BUILD:-$root/build}

bash "$root/scripts/setup.sh"
. "$root/scripts/common.sh"
build_tree "$root" "$build"

echo "test: making the throwaway Wine prefix $build/test-prefix"
open_sandbox "$build/test-prefix"
ctest --test-dir "$build" --output-on-failure "$@"
