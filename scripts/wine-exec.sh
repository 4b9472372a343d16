#!/usr/bin/env bash
# How CTest runs a test program: under Wine, only in the prefix that scripts/test.sh made,
# with the fault library preloaded (tests/fault/fault.c). Usage: wine-exec.sh FAULTLIB PROGRAM [ARGS]
set -eu
if [ -z "${WINEPREFIX:-}" ] || [ -z "${TAVORINE_TEST_TOKEN:-}" ] \
   || [ ! -f "$WINEPREFIX/drive_c/tavorine-test-prefix" ]; then
    echo "wine-exec: run the tests through scripts/test.sh, which makes their throwaway prefix" >&2
    exit 2
fi
fault=$1
shift
# The test arms a fault by writing C:\tavorine-faults.
export TAVORINE_FAULTS=$WINEPREFIX/drive_c/tavorine-faults
rm -f "$TAVORINE_FAULTS"
# Under qemu the 32-bit processes take their preloads from qemu (common.sh); elsewhere the
# 32-bit loader is started directly, so that no 64-bit program meets a 32-bit preload.
if [ -n "${WINE32_SHIM:-}" ]; then
    export QEMU_SET_ENV=LD_PRELOAD=$WINE32_SHIM:$fault
else
    export LD_PRELOAD=$fault
fi
exec /usr/lib/wine/wine "$@"
