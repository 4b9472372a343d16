#!/usr/bin/env bash
# Two releases, each built in a clean tree of its own at paths of different
# lengths, give the same archive and checksum, and hold the build under test.
set -euo pipefail
src=$1 exe=$2
a=$(mktemp -d) b=$(mktemp -d /tmp/tavorine-reproducible-second-tree-XXXXXX)
trap 'rm -rf "$a" "$b"' EXIT
TMPDIR=$a bash "$src/scripts/release.sh" --here "$a/Tavorine-1.00.zip" >/dev/null
TMPDIR=$b bash "$src/scripts/release.sh" --here "$b/Tavorine-1.00.zip" >/dev/null
cmp "$a/Tavorine-1.00.zip" "$b/Tavorine-1.00.zip"
cmp "$a/Tavorine-1.00.zip.sha256" "$b/Tavorine-1.00.zip.sha256"
(cd "$a" && sha256sum --quiet -c Tavorine-1.00.zip.sha256)
# The archive holds this exe, and a read-me and license that Notepad on a Japanese Windows reads: Shift-JIS, CRLF.
python3 - "$a/Tavorine-1.00.zip" "$exe" "$src/LICENSE" <<'PY'
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
assert z.namelist() == ["Tavorine.exe", "README-ja.txt", "LICENSE.txt"], z.namelist()
assert z.read("Tavorine.exe") == open(sys.argv[2], "rb").read(), "the archive's exe differs"
for name in "README-ja.txt", "LICENSE.txt":
    text = z.read(name)
    assert text.count(b"\n") == text.count(b"\r\n") > 0, f"{name}: a line end that is not CRLF"
readme = z.read("README-ja.txt").decode("cp932")
assert "管理者として実行" in readme and "LICENSE.txt" in readme, "the read-me is not Shift-JIS, or names no license"
assert z.read("LICENSE.txt").replace(b"\r\n", b"\n") == open(sys.argv[3], "rb").read(), "the license differs"
PY
echo "same bytes: Tavorine.exe ($(stat -c %s "$exe") bytes) in two release archives and their checksums"
