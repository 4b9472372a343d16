#!/usr/bin/env bash
# Builds Tavorine.exe from a clean build tree and packs build/Tavorine-1.00.zip. Beside it
# go its SHA-256, as sha256sum -c reads it, and its build record (.buildinfo): the Debian
# release and the versions of the packages that decide the bytes.
#   release.sh [--here] [OUT.zip]
# The published archive is Debian 12's: on another release the build runs in a Debian 12
# root (scripts/in-debian.sh), so it gives the same bytes. --here builds with this
# machine's own toolchain, whatever its release.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
here=0
[ "${1:-}" = --here ] && { here=1; shift; }
out=${1:-$root/build/Tavorine-1.00.zip}
release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")

if [ "$release" != bookworm ] && [ "$here" = 0 ]; then
    mkdir -p "$(dirname "$out")"
    echo "release: this is $(. /etc/os-release && echo "$PRETTY_NAME"); building in a Debian 12 root"
    bash "$root/scripts/in-debian.sh" --out "$(cd "$(dirname "$out")" && pwd)" bookworm \
        bash scripts/release.sh "/out/$(basename "$out")"
    exit
fi

bash "$root/scripts/setup.sh" --build
. "$root/scripts/common.sh" 2>/dev/null  # its Japanese locale may not be there; the build needs none
export LANG=C.UTF-8 LC_ALL=C.UTF-8
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
build_tree "$root" "$tree" Tavorine
mkdir -p "$(dirname "$out")"
# Debian's own Python, the one the record names; zlib's deflate decides the archive's bytes.
python=/usr/bin/python3
$python "$root/scripts/make-zip.py" "$tree/Tavorine.exe" "$root/docs/release/README-ja.txt" "$root/LICENSE" "$out"
(cd "$(dirname "$out")" && sha256sum "$(basename "$out")" > "$(basename "$out").sha256")
py=python3.$($python -c 'import sys; print(sys.version_info.minor)')
{
    echo "Debian $(. /etc/os-release && echo "$VERSION_ID") ($release), $(dpkg --print-architecture)"
    dpkg-query -W -f='${Package} ${Version}\n' g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix \
        gcc-mingw-w64-i686-posix-runtime gcc-mingw-w64-base binutils-mingw-w64-i686 mingw-w64-i686-dev \
        mingw-w64-common cmake python3 "$py" "lib$py-stdlib" zlib1g 2>/dev/null | sort -u
} > "$out.buildinfo"
cat "$out.sha256"
