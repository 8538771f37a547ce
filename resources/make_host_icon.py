#!/usr/bin/env python3
"""Draws PelkoWebHost's icon and writes it as a Windows .ico file.

    python3 resources/make_host_icon.py [OUTPUT]     (default: resources/PelkoWebHost.ico)

The build uses the committed PelkoWebHost.ico; run this again only to change the picture.
Three images (16, 32 and 48 pixels square), each a 32-bit BGRA device-independent bitmap
with its AND mask, as every Windows version reads them: a blue rounded square holding a
white arrow pointing down onto a bar (an update being brought in). Standard library only.
"""

import os
import struct
import sys

SIZES = (16, 32, 48)
INK = (31, 78, 156)  # the spinner's blue
WHITE = (255, 255, 255)
SUPERSAMPLE = 4


def inside_rounded_square(x, y, radius):
    """Unit square [0, 1] with corners rounded by radius."""
    cx = min(max(x, radius), 1 - radius)
    cy = min(max(y, radius), 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius**2 and 0 <= x <= 1 and 0 <= y <= 1


def inside_arrow(x, y):
    """Shaft, head and the bar it points at, in unit coordinates (y grows downwards)."""
    shaft = 0.42 <= x <= 0.58 and 0.16 <= y <= 0.52
    head = 0.46 <= y <= 0.72 and abs(x - 0.5) <= (0.72 - y) * 1.05
    bar = 0.20 <= x <= 0.80 and 0.77 <= y <= 0.86
    return shaft or head or bar


def pixel(size, px, py):
    """(r, g, b, alpha) of one pixel, averaged over SUPERSAMPLE^2 samples."""
    r = g = b = a = 0.0
    n = SUPERSAMPLE * SUPERSAMPLE
    for sy in range(SUPERSAMPLE):
        for sx in range(SUPERSAMPLE):
            x = (px + (sx + 0.5) / SUPERSAMPLE) / size
            y = (py + (sy + 0.5) / SUPERSAMPLE) / size
            if not inside_rounded_square(x, y, 0.2):
                continue
            colour = WHITE if inside_arrow(x, y) else INK
            r += colour[0]
            g += colour[1]
            b += colour[2]
            a += 1
    if a == 0:
        return (0, 0, 0, 0)
    return (round(r / a), round(g / a), round(b / a), round(255 * a / n))


def image(size):
    """BITMAPINFOHEADER (height doubled for the mask), BGRA rows bottom-up, AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colours = bytearray()
    mask_row_bytes = ((size + 31) // 32) * 4
    mask = bytearray()
    for py in reversed(range(size)):
        bits = bytearray(mask_row_bytes)
        for px in range(size):
            r, g, b, a = pixel(size, px, py)
            colours += bytes((b, g, r, a))
            if a == 0:
                bits[px // 8] |= 0x80 >> (px % 8)
        mask += bits
    return header + bytes(colours) + bytes(mask)


def icon():
    images = [image(size) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    return out


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "PelkoWebHost.ico")
    with open(target, "wb") as f:
        f.write(icon())


if __name__ == "__main__":
    main()
