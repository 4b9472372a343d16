#!/usr/bin/env bash
# Builds Tavorine and starts it under Wine.
#   scripts/run.sh                      sandbox prefix, demo folder of stand-in files
#   scripts/run.sh --from DIR           run with DIR as the current directory (DIR\VCRUNTIME)
#   scripts/run.sh --prefix PREFIX      run in that Wine prefix instead of the sandbox
# Without a display it runs on a virtual one and leaves a screenshot.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAVORINE_BUILD:-$root/build}
from="" prefix=""
while [ $# -gt 0 ]; do
    case "$1" in
        --from) from=$(cd "$2" && pwd); shift 2 ;;
        --prefix) prefix=$2; shift 2 ;;
        *) echo "usage: $0 [--from DIR] [--prefix WINEPREFIX]" >&2; exit 2 ;;
    esac
done

bash "$root/scripts/setup.sh"
. "$root/scripts/common.sh"
build_tree "$root" "$build" Tavorine standins

if [ -z "$prefix" ]; then
    prefix="$build/demo-prefix"
    if [ ! -f "$prefix/.tavorine-demo" ]; then
        echo "run: making the sandbox prefix $prefix"
        make_prefix "$prefix"
        # Wine puts its own msvcp70/msvcr70/msvcp71/msvcr71 here; the demo starts without them.
        for f in MFC71 msvcp71 msvcr71 msvcp70 msvcr70; do
            rm -f "$prefix/drive_c/windows/system32/$f.dll"
        done
        touch "$prefix/.tavorine-demo"
    fi
fi
export WINEPREFIX=$prefix

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
    cd "$from" && exec wine "$build/Tavorine.exe"
fi

cleanup() {
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    stop_xvfb
}
trap cleanup EXIT
start_xvfb_if_needed
(cd "$from" && wine "$build/Tavorine.exe" </dev/null >/dev/null 2>&1 &)
sleep 5
import -window root "$build/tavorine-run.png"
echo "run: no display here, so Tavorine ran on a virtual one; its screen is in $build/tavorine-run.png"
