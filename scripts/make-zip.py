#!/usr/bin/env python3
"""Packs Tavorine-1.00.zip: the exe, a Japanese read-me in Shift-JIS and the
license, both with CRLF line ends, as Notepad on an older Japanese Windows
expects. The same inputs give the same bytes: fixed entry order, time, and
attributes.
  make-zip.py EXE README LICENSE OUT.zip"""
import sys
import zipfile

# The time stored for every entry: the day of version 1.00.
STAMP = (2026, 12, 9, 0, 0, 0)


def entry(name):
    info = zipfile.ZipInfo(name, STAMP)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.create_system = 0  # MS-DOS, so no Unix permissions are stored
    info.external_attr = 0x20  # archive bit only
    return info


def text(path):
    with open(path, encoding="utf-8") as f:
        lines = f.read().replace("\r\n", "\n").split("\n")
    return "\r\n".join(lines).encode("cp932")


def main(exe, readme, license, out):
    with open(exe, "rb") as f:
        program = f.read()
    with zipfile.ZipFile(out, "w") as z:
        z.writestr(entry("Tavorine.exe"), program, compresslevel=9)
        z.writestr(entry("README-ja.txt"), text(readme), compresslevel=9)
        z.writestr(entry("LICENSE.txt"), text(license), compresslevel=9)
    print(f"wrote {out}")


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])
