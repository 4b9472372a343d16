#!/usr/bin/env bash
# Builds Tavorine and starts it under Wine.
#   scripts/run.sh                      sandbox prefix, demo folder of stand-in files
#   scripts/run.sh --from DIR           run with DIR as the current directory (DIR\VCRUNTIME)
#   scripts/run.sh --prefix PREFIX      run in that Wine prefix instead of the sandbox
#   scripts/run.sh --native             Wine's own msvcr71, msvcp71, msvcr70 and msvcp70 set aside
#                                       while Tavorine runs, and what it installed loaded first
#                                       afterwards (scripts/wine-native.sh)
# Without a display it runs on a virtual one, leaves a screenshot and ends
# only what it started: Tavorine, its own Xvfb, and the sandbox's Wine server.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAVORINE_BUILD:-$root/build}
usage() {
    echo "usage: $0 [--from DIR] [--prefix WINEPREFIX] [--native]" >&2
    exit 2
}
from="" prefix="" native=""
while [ $# -gt 0 ]; do
    case "$1" in
        --native) native=1; shift; continue ;;
        --from | --prefix) [ $# -ge 2 ] && [ -n "$2" ] || usage ;;&
        --from) from=$(cd "$2" 2>/dev/null && pwd) || { echo "run: no folder $2" >&2; exit 2; } ;;
        --prefix) prefix=$(realpath -m -- "$2") ;;  # Wine takes only an absolute path
        *) usage ;;
    esac
    shift 2
done

bash "$root/scripts/setup.sh"
. "$root/scripts/common.sh"
build_tree "$root" "$build" Tavorine standins
exe=$build/Tavorine.exe
[ -f "$exe" ] || { echo "run: $exe was not built" >&2; exit 1; }

sandbox=""
if [ -z "$prefix" ]; then
    prefix="$build/demo-prefix" sandbox=1
    if [ ! -f "$prefix/.tavorine-demo" ]; then
        echo "run: making the sandbox prefix $prefix"
        make_prefix "$prefix"
        # Wine puts its own msvcp70/msvcr70/msvcp71/msvcr71 in the system directory that
        # Tavorine sees (syswow64 in a 64-bit prefix); the demo starts without them.
        sysdir=$(sysdir32 "$prefix")
        for f in MFC71 msvcp71 msvcr71 msvcp70 msvcr70; do
            rm -f "$sysdir/$f.dll"
        done
        touch "$prefix/.tavorine-demo"
    fi
fi
export WINEPREFIX=$prefix
unset TMPDIR  # Wine makes a prefix that is not there yet, and sid's aborts doing so with TMPDIR set

if [ -z "$from" ]; then
    from="$build/demo"
    mkdir -p "$from/VCRUNTIME"
    # The project's own stand-in DLLs, each built under its library's name and labelled.
    for f in MFC71 msvcp71 msvcr71 msvcp70 msvcr70; do
        /usr/bin/python3 "$root/scripts/standin/label.py" "$build/standin/$f.dll" \
            "STAND-IN for $f.dll made by Tavorine's run script. Not a Microsoft library: it only lets the demo run."$'\r\n' \
            "$from/VCRUNTIME/$f.dll"
    done
    printf 'These five files are stand-ins, not the Microsoft runtime libraries: each is a tiny DLL that the run script made.\r\n' > "$from/VCRUNTIME/STAND-INS.txt"
fi

echo "run: prefix $WINEPREFIX, current directory $from"
pid=""
# However Tavorine or this script ends, Ctrl-C included, the prefix is settled.
cleanup() {
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    local settled=1
    [ -z "$native" ] || bash "$root/scripts/wine-native.sh" after || settled=0
    [ -n "$sandbox" ] && { "$WINESERVER" -k 2>/dev/null || true; }
    stop_xvfb
    [ "$settled" = 1 ] || { echo "run: the prefix was not settled" >&2; exit 1; }
}
trap cleanup EXIT
[ -z "$native" ] || { trap 'exit 130' INT; trap 'exit 143' TERM; trap 'exit 129' HUP; }
[ -z "$native" ] || bash "$root/scripts/wine-native.sh" before
if [ -n "${DISPLAY:-}" ]; then
    [ -n "$native" ] || { cd "$from" && exec "$WINE" "$exe"; }
    # Waited for in the background, where a signal to this script still reaches its trap.
    (cd "$from" && exec "$WINE" "$exe") &
    pid=$!
    rc=0
    wait "$pid" || rc=$?
    pid=""
    exit "$rc"
fi

start_xvfb_if_needed
log=$build/tavorine-run.log
rm -f "$build/tavorine-run.png"
(cd "$from" && exec "$WINE" "$exe" </dev/null >"$log" 2>&1) &
pid=$!
# Its main dialog, or its warning box, is a top-level window captioned "Tavorine". The first
# window in a new prefix waits for Wine's font cache, and under qemu for longer.
shown() { xwininfo -root -tree 2>/dev/null | grep -q '"Tavorine"'; }
for _ in $(seq 1 240); do
    shown && break
    if ! kill -0 "$pid" 2>/dev/null; then
        pid=""
        echo "run: Tavorine did not start; Wine said:" >&2
        grep -v 'unexpected trap' "$log" | tail -n 5 >&2
        exit 1
    fi
    sleep 0.5
done
shown || { echo "run: Tavorine showed no window within two minutes" >&2; exit 1; }
sleep 1
import -window root "$build/tavorine-run.png"
echo "run: no display here, so Tavorine ran on a virtual one; its screen is in $build/tavorine-run.png"
