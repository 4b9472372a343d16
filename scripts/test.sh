#!/usr/bin/env bash
# Builds Tavorine and runs every test on Wine, in a throwaway prefix made for this run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAVORINE_BUILD:-$root/build}

bash "$root/scripts/setup.sh"
. "$root/scripts/common.sh"
build_tree "$root" "$build"

echo "test: making the throwaway Wine prefixes $build/test-prefix and, 64-bit, $build/test-prefix64"
open_sandbox "$build/test-prefix"
open_sandbox64 "$build/test-prefix64"
ctest --test-dir "$build" --output-on-failure "$@"
