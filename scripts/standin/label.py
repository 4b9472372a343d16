#!/usr/bin/env python3
"""Labels a stand-in DLL as the demo's: the text appended after its last
section, and the PE checksum written last, over the whole file, as a release
build carries it.
  label.py DLL TEXT OUT"""
import sys

import pefile


def with_checksum(data):
    """The DLL's bytes with a right checksum in its header."""
    pe = pefile.PE(data=bytes(data), fast_load=True)
    pe.OPTIONAL_HEADER.CheckSum = pe.generate_checksum()
    return pe.write()


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    with open(sys.argv[1], "rb") as f:
        dll = f.read()
    with open(sys.argv[3], "wb") as f:
        f.write(with_checksum(dll + sys.argv[2].encode()))
