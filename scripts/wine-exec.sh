#!/usr/bin/env bash
# How CTest runs a test program: under Wine, only in the prefix that scripts/test.sh made.
set -eu
if [ -z "${WINEPREFIX:-}" ] || [ -z "${TAVORINE_TEST_TOKEN:-}" ] \
   || [ ! -f "$WINEPREFIX/drive_c/tavorine-test-prefix" ]; then
    echo "wine-exec: run the tests through scripts/test.sh, which makes their throwaway prefix" >&2
    exit 2
fi
exec wine "$@"
