#!/usr/bin/env bash
# Renders Tavorine's windows under Xvfb into docs/*.png for the README.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAVORINE_BUILD:-$root/build}

bash "$root/scripts/setup.sh"
. "$root/scripts/common.sh"
build_tree "$root" "$build" Tavorine ui_shots

# A display of its own, so the pictures do not depend on the desktop.
unset DISPLAY
open_sandbox "$build/shots-prefix"

out="$build/shots"
rm -rf "$out"
mkdir -p "$out" "$root/docs"
"$WINE" "$build/tests/ui_shots.exe" "$("$WINE" winepath -w "$out")"
for bmp in "$out"/*.bmp; do
    convert "$bmp" -strip "$root/docs/$(basename "${bmp%.bmp}").png"
done
ls -l "$root"/docs/*.png
