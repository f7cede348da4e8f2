#!/usr/bin/env python3
"""Draws the Zephyrine icon (a rounded sky-blue square with three white wind streaks)
and writes res/zephyrine.ico with an image for every size Windows asks for: 16, 20, 24,
32, 40, 48, 64 and 256 pixels.

Run it after changing the drawing; the .ico it writes is kept in the repository so the
build needs no Python."""
import math
import struct
import sys
import zlib

SAMPLES = 4  # supersampling per axis, for smooth edges


def inside_rounded_square(x, y, size):
    margin, radius = size * 0.06, size * 0.22
    lo, hi = margin, size - margin
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and lo <= x <= hi and lo <= y <= hi


def streak_distance(x, y, size, row, start, end):
    """Distance from (x, y) to a gently waving horizontal stroke."""
    u = x / size
    if u < start or u > end:
        ex = start if u < start else end
        return math.hypot(x - ex * size, y - stroke_y(ex, size, row))
    return abs(y - stroke_y(u, size, row))


def stroke_y(u, size, row):
    return size * (0.30 + 0.20 * row + 0.035 * math.sin(u * 2 * math.pi * 1.2 + row))


STREAKS = [(0, 0.20, 0.78), (1, 0.14, 0.86), (2, 0.26, 0.70)]


def pixel(x, y, size):
    covered = white = 0.0
    top = (0.36, 0.72, 0.96)
    bottom = (0.10, 0.40, 0.80)
    width = max(size * 0.055, 1.1)
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            px = x + (sx + 0.5) / SAMPLES
            py = y + (sy + 0.5) / SAMPLES
            if not inside_rounded_square(px, py, size):
                continue
            covered += 1
            if any(streak_distance(px, py, size, r, s, e) <= width for r, s, e in STREAKS):
                white += 1
    n = SAMPLES * SAMPLES
    if covered == 0:
        return (0, 0, 0, 0)
    t = y / size
    base = [top[i] * (1 - t) + bottom[i] * t for i in range(3)]
    w = white / covered
    rgb = [round(255 * (base[i] * (1 - w) + w)) for i in range(3)]
    return (rgb[0], rgb[1], rgb[2], round(255 * covered / n))


def image(size):
    return [[pixel(x, y, size) for x in range(size)] for y in range(size)]


def bmp_entry(size, pixels):
    """A 32-bit DIB with its AND mask, as icons store small sizes."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = b"".join(
        bytes(c for (r, g, b, a) in pixels[y] for c in (b, g, r, a)) for y in reversed(range(size)))
    mask_row = ((size + 31) // 32) * 4
    mask = bytes(mask_row * size)
    return header + rows + mask


def png_entry(size, pixels):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in pixels)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main(path):
    sizes = [16, 20, 24, 32, 40, 48, 64, 256]
    blobs = [png_entry(s, image(s)) if s == 256 else bmp_entry(s, image(s)) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, blob in zip(sizes, blobs):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(out + b"".join(blobs))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "res/zephyrine.ico")
