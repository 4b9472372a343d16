#!/usr/bin/env python3
"""Lays a DLL out as Microsoft's linker does, in place: GNU ld puts the PE
headers right behind the DOS stub, at 0x80; Microsoft's linker puts a "Rich"
block there and the headers after it. The headers move to 0x100, inside the
room that ld leaves before the first section; nothing else moves. The
checksum, which moving the headers makes wrong, is written anew.
  relayout.py DLL"""
import struct
import sys

from label import with_checksum

AT = 0x100
MASK = 0x5441564F  # the Rich block is masked with a checksum; any value does here


def main(path):
    with open(path, "rb") as f:
        dll = bytearray(f.read())
    old = struct.unpack_from("<I", dll, 0x3C)[0]
    sections, optional = struct.unpack_from("<H", dll, old + 6)[0], struct.unpack_from("<H", dll, old + 20)[0]
    size_of_headers = struct.unpack_from("<I", dll, old + 24 + 60)[0]
    headers = bytes(dll[old:old + 24 + optional + 40 * sections])
    if old >= AT or AT + len(headers) > size_of_headers:
        sys.exit(f"relayout: {path}: headers at {old:#x}, {len(headers)} bytes, room up to {size_of_headers:#x}")
    rich = struct.pack("<6I", 0x536E6144 ^ MASK, MASK, MASK, MASK, 0x00FF1234 ^ MASK, 1 ^ MASK) + b"Rich"
    block = rich + struct.pack("<I", MASK)
    dll[old:AT + len(headers)] = block + bytes(AT - old - len(block)) + headers
    struct.pack_into("<I", dll, 0x3C, AT)
    with open(path, "wb") as f:
        f.write(with_checksum(dll))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
