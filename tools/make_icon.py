#!/usr/bin/env python3
"""Draws the program icon (a padlock, #3A9AE7 on #161E2C) as a multi-size .ico.

Usage: make_icon.py OUT.ico. Pure standard library, so it runs anywhere.
"""
import struct
import sys
import zlib

BACKGROUND = (0x16, 0x1E, 0x2C, 255)
FOREGROUND = (0x3A, 0x9A, 0xE7, 255)
SIZES = (48, 32, 24, 16)
SUPERSAMPLE = 4


def inside(x, y):
    """The padlock in unit coordinates (0..1), y downwards."""
    # Rounded background tile.
    r = 0.18
    cx, cy = min(max(x, r), 1 - r), min(max(y, r), 1 - r)
    if (x - cx) ** 2 + (y - cy) ** 2 > r * r:
        return None
    # Body of the lock.
    if 0.24 <= x <= 0.76 and 0.46 <= y <= 0.84:
        # Keyhole cut out of the body.
        if (x - 0.5) ** 2 + (y - 0.6) ** 2 <= 0.06 ** 2 or (0.475 <= x <= 0.525 and 0.6 <= y <= 0.74):
            return BACKGROUND
        return FOREGROUND
    # Shackle: a half ring above the body.
    dx, dy = x - 0.5, y - 0.46
    dist = (dx * dx + dy * dy) ** 0.5
    if y <= 0.46 and 0.15 <= dist <= 0.23:
        return FOREGROUND
    return BACKGROUND


def render(size):
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = bytearray([0])  # PNG filter: none
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    c = inside((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    if c:
                        for i in range(3):
                            acc[i] += c[i]
                        acc[3] += 255
            samples = n * n
            alpha = acc[3] // samples
            covered = max(acc[3] // 255, 1)
            row += bytes([acc[0] // covered, acc[1] // covered, acc[2] // covered, alpha])
        rows.append(bytes(row))
    return png(size, b"".join(rows))


def png(size, raw):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def main(out):
    images = [render(s) for s in SIZES]
    offset = 6 + 16 * len(images)
    directory = b""
    for size, data in zip(SIZES, images):
        directory += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(out, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(images)) + directory + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1])
