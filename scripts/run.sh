#!/usr/bin/env bash
# Builds Tavorine and starts it under Wine.
#   scripts/run.sh                      sandbox prefix, demo folder of stand-in files
#   scripts/run.sh --from DIR           run with DIR as the current directory (DIR\VCRUNTIME)
#   scripts/run.sh --prefix PREFIX      run in that Wine prefix instead of the sandbox
# Without a display it runs on a virtual one, leaves a screenshot and ends
# only what it started: Tavorine, its own Xvfb, and the sandbox's Wine server.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAVORINE_BUILD:-$root/build}
usage() {
    echo "usage: $0 [--from DIR] [--prefix WINEPREFIX]" >&2
    exit 2
}
from="" prefix=""
while [ $# -gt 0 ]; do
    case "$1" in
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
        sysdir=$prefix/drive_c/windows/syswow64
        [ -d "$sysdir" ] || sysdir=$prefix/drive_c/windows/system32
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
if [ -n "${DISPLAY:-}" ]; then
    cd "$from" && exec "$WINE" "$exe"
fi

pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    [ -n "$sandbox" ] && { "$WINESERVER" -k 2>/dev/null || true; }
    stop_xvfb
}
trap cleanup EXIT
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
