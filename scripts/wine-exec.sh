#!/usr/bin/env bash
# How CTest runs a test program: under Wine, only in the prefix that scripts/test.sh made,
# with the fault library preloaded (tests/fault/fault.c), for at most LIMIT seconds.
# Usage: wine-exec.sh FAULTLIB LIMIT PROGRAM [ARGS]
set -eu
if [ -z "${WINEPREFIX:-}" ] || [ -z "${TAVORINE_TEST_TOKEN:-}" ] \
   || [ ! -f "$WINEPREFIX/drive_c/tavorine-test-prefix" ]; then
    echo "wine-exec: run the tests through scripts/test.sh, which makes their throwaway prefix" >&2
    exit 2
fi
fault=$1 limit=$2
shift 2
# The test arms a fault by writing C:\tavorine-faults.
export TAVORINE_FAULTS=$WINEPREFIX/drive_c/tavorine-faults
rm -f "$TAVORINE_FAULTS"
# The program writes into a file, shown when it ends: a Wine service that starts
# meanwhile inherits its output and outlives it, and would hold CTest's pipe.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
rc=0
# The loader that runs a 32-bit program (scripts/which-wine.sh), and the preload built for it.
. "$(dirname "$0")/which-wine.sh"
timeout -k 10 "$limit" env LD_PRELOAD="$fault" "$WINE" "$@" </dev/null >"$out" 2>&1 || rc=$?
cat "$out"
case $rc in
    0 | 1) ;;  # passed; a test failed, and said so
    124 | 137) echo "wine-exec: $1 still ran after $limit s and was ended" >&2 ;;
    *) echo "wine-exec: $1 ended with status $rc: it crashed or was refused" >&2 ;;
esac
exit "$rc"
