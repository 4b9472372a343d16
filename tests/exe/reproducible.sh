#!/usr/bin/env bash
# Two clean builds of Tavorine.exe, in trees at different paths, give the same
# bytes as the build under test; so do two release archives.
set -euo pipefail
src=$1 exe=$2
. "$src/scripts/common.sh"
a=$(mktemp -d) b=$(mktemp -d /tmp/tavorine-reproducible-second-tree-XXXXXX)
trap 'rm -rf "$a" "$b"' EXIT
build_tree "$src" "$a" Tavorine
build_tree "$src" "$b" Tavorine
cmp "$a/Tavorine.exe" "$b/Tavorine.exe"
cmp "$a/Tavorine.exe" "$exe"

python3 "$src/scripts/make-zip.py" "$a/Tavorine.exe" "$src/docs/release/README-ja.txt" "$a/one.zip" >/dev/null
sleep 1.1  # a clock that leaked into the archive would show now
python3 "$src/scripts/make-zip.py" "$b/Tavorine.exe" "$src/docs/release/README-ja.txt" "$b/two.zip" >/dev/null
cmp "$a/one.zip" "$b/two.zip"
# The archive holds this exe, and a read-me that Notepad on a Japanese Windows reads: Shift-JIS, CRLF.
python3 - "$a/one.zip" "$a/Tavorine.exe" <<'PY'
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
assert z.namelist() == ["Tavorine.exe", "README-ja.txt"], z.namelist()
assert z.read("Tavorine.exe") == open(sys.argv[2], "rb").read(), "the archive's exe differs"
text = z.read("README-ja.txt")
assert text.count(b"\n") == text.count(b"\r\n") > 0, "a line end that is not CRLF"
assert "管理者として実行" in text.decode("cp932"), "the read-me is not Shift-JIS"
PY
echo "same bytes: Tavorine.exe ($(stat -c %s "$exe") bytes) and the release archive"
