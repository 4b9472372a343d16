#!/usr/bin/env python3
"""Draws Tavorine's icon and writes res/tavorine.ico.

The picture: a blue rounded tile with a white arrow going down into a tray,
that is, files going into place. Eight images: 32 and 16 px at 4 bpp; 48, 32
and 16 px at 8 and at 32 bpp. Deterministic: the same script gives the same bytes.
  make-icon.py            write res/tavorine.ico
  make-icon.py --check    exit 1 if res/tavorine.ico is not what this script draws
"""
import os
import struct
import sys

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res", "tavorine.ico")
SS = 4  # supersampling per axis

TILE_TOP = (0x3c, 0x8c, 0xe6)
TILE_BOTTOM = (0x12, 0x4a, 0xa8)
WHITE = (0xff, 0xff, 0xff)
TRAY = (0xff, 0xd2, 0x4a)


def inside_rounded(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def inside_arrow(x, y):
    # shaft and head, in unit coordinates
    if 0.43 <= x <= 0.57 and 0.17 <= y <= 0.50:
        return True
    if 0.44 <= y <= 0.70:
        half = (0.70 - y) / 0.26 * 0.22
        return abs(x - 0.5) <= half
    return False


def inside_tray(x, y):
    if 0.20 <= x <= 0.80 and 0.74 <= y <= 0.84:
        return True
    return (0.20 <= x <= 0.29 or 0.71 <= x <= 0.80) and 0.58 <= y <= 0.84


def sample(u, v):
    """Colour and coverage of one point of the unit square."""
    if not inside_rounded(u, v, 0.04, 0.04, 0.96, 0.96, 0.18):
        return None
    if inside_arrow(u, v):
        return WHITE
    if inside_tray(u, v):
        return TRAY
    t = v
    return tuple(round(a + (b - a) * t) for a, b in zip(TILE_TOP, TILE_BOTTOM))


def render(size):
    """Rows of (r, g, b, a), top row first."""
    rows = []
    n = size * SS
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0]
            hits = 0
            for sy in range(SS):
                for sx in range(SS):
                    c = sample((px * SS + sx + 0.5) / n, (py * SS + sy + 0.5) / n)
                    if c:
                        hits += 1
                        for i in range(3):
                            acc[i] += c[i]
            if hits:
                row.append(tuple(round(a / hits) for a in acc) + (round(255 * hits / (SS * SS)),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
         (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
         (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def palette256():
    pal = list(VGA16)
    for r in range(6):
        for g in range(6):
            for b in range(6):
                pal.append((r * 51, g * 51, b * 51))
    while len(pal) < 256:
        level = 8 + (len(pal) - 232) * 10
        pal.append((level, level, level))
    return pal


def nearest(pal, c):
    return min(range(len(pal)), key=lambda i: sum((a - b) ** 2 for a, b in zip(pal[i], c)))


def mask_bytes(rows, size):
    """AND mask, bottom row first, rows padded to 32 bits: set where transparent."""
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bits
    return bytes(out)


def dib(size, bpp, rows):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, 0, 0, 0, 0, 0)
    body = bytearray()
    if bpp == 32:
        for row in reversed(rows):
            for r, g, b, a in row:
                body += bytes((b, g, r, a))
        return header + bytes(body) + mask_bytes(rows, size)
    pal = VGA16 if bpp == 4 else palette256()
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in pal)
    stride = ((size * bpp + 31) // 32) * 4
    cache = {}
    for row in reversed(rows):
        line = bytearray(stride)
        for x, p in enumerate(row):
            idx = 0
            if p[3] >= 128:
                key = p[:3]
                if key not in cache:
                    cache[key] = nearest(pal, key)
                idx = cache[key]
            if bpp == 8:
                line[x] = idx
            else:
                line[x // 2] |= idx << (4 if x % 2 == 0 else 0)
        body += line
    return header + table + bytes(body) + mask_bytes(rows, size)


def build():
    images = [(32, 4), (16, 4), (48, 8), (32, 8), (16, 8), (48, 32), (32, 32), (16, 32)]
    rendered = {s: render(s) for s in (48, 32, 16)}
    blobs = [dib(s, bpp, rendered[s]) for s, bpp in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (s, bpp), blob in zip(images, blobs):
        colors = 16 if bpp == 4 else 0
        out += struct.pack("<BBBBHHII", s, s, colors, 0, 1, bpp, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


def main():
    data = build()
    if "--check" in sys.argv[1:]:
        with open(OUT, "rb") as f:
            same = f.read() == data
        print("icon is current" if same else "res/tavorine.ico differs from what scripts/make-icon.py draws")
        return 0 if same else 1
    with open(OUT, "wb") as f:
        f.write(data)
    print(f"wrote {os.path.normpath(OUT)} ({len(data)} bytes)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
