#!/usr/bin/env bash
# Builds Tavorine.exe from a clean build tree, packs build/Tavorine-1.00.zip and
# writes its SHA-256 beside it, as sha256sum -c reads it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/Tavorine-1.00.zip}

bash "$root/scripts/setup.sh"
. "$root/scripts/common.sh"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
build_tree "$root" "$tree" Tavorine
mkdir -p "$(dirname "$out")"
python3 "$root/scripts/make-zip.py" "$tree/Tavorine.exe" "$root/docs/release/README-ja.txt" "$root/LICENSE" "$out"
(cd "$(dirname "$out")" && sha256sum "$(basename "$out")" > "$(basename "$out").sha256")
cat "$out.sha256"
