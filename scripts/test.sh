#!/usr/bin/env bash
# Builds Tavorine and runs every test on Wine, in a throwaway prefix made for this run.
# The tests run without root's power to bypass file permissions, so that a
# read-only file is read-only to them, as it is to a user on Windows.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAVORINE_BUILD:-$root/build}

if [ "${1:-}" != --without-bypass ]; then
    bash "$root/scripts/setup.sh"
    . "$root/scripts/common.sh"
    build_tree "$root" "$build"
    # What an earlier run left is removed while the power to remove anything is still there.
    rm -rf "$build/test-prefix" "$build/test-prefix64"
    drop=()
    if [ "$(id -u)" -eq 0 ]; then
        caps=-dac_override,-dac_read_search
        drop=(setpriv --inh-caps="$caps" --bounding-set="$caps" --)
        # A network namespace of its own, where one can be made: its X display and Wine
        # servers meet no other run's, on this machine or in a Debian root on it (in-debian.sh).
        unshare --net true 2>/dev/null && drop=(unshare --net -- "${drop[@]}")
    fi
    exec "${drop[@]}" bash "$0" --without-bypass "$@"
fi
shift
. "$root/scripts/common.sh"

probe=$(mktemp)
chmod 444 "$probe"
if (: >> "$probe") 2>/dev/null; then
    rm -f "$probe"
    echo "test: a read-only file can be opened for writing here, so the tests could not see what a user meets;" \
         "run them as an ordinary user, or as root where setpriv can drop CAP_DAC_OVERRIDE" >&2
    exit 1
fi
rm -f "$probe"

echo "test: making the throwaway Wine prefixes $build/test-prefix and, 64-bit, $build/test-prefix64"
open_sandbox "$build/test-prefix"
open_sandbox64 "$build/test-prefix64"
ctest --test-dir "$build" --output-on-failure "$@"
