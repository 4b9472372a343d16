#!/usr/bin/env bash
# Builds Tavorine and runs every test on Wine, in a throwaway prefix made for this run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAVORINE_BUILD:-$root/build}

bash "$root/scripts/setup.sh"
. "$root/scripts/wine-env.sh"

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake" \
      -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null

export WINEPREFIX="$build/test-prefix"
cleanup() {
    wineserver -k 2>/dev/null || true
    stop_xvfb
}
trap cleanup EXIT

start_xvfb_if_needed
echo "test: creating the Wine prefix $WINEPREFIX"
make_prefix "$WINEPREFIX"

# The test programs run only where this token matches the one in the prefix.
TAVORINE_TEST_TOKEN=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
export TAVORINE_TEST_TOKEN
printf '%s' "$TAVORINE_TEST_TOKEN" > "$WINEPREFIX/drive_c/tavorine-test-prefix"

# One wineserver for the whole run keeps each test program's start short.
# Wine's own services start with the first program and outlive it: start them
# here, away from CTest's output pipes, which they would otherwise hold open.
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1
ctest --test-dir "$build" --output-on-failure "$@"
