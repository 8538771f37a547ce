#!/usr/bin/env python3
"""Draws the patch window's spinner and writes it as an animated GIF.

    python3 resources/make_spinner_gif.py [OUTPUT]     (default: resources/spinner.gif)

The build uses the committed spinner.gif; run this again only to change the picture.
A GIF89a of 49 x 48 pixels with a 256-entry global colour table, a looping application
extension and 12 frames, each a graphic control extension (delay 0, disposal 1, no
transparency) and a full-size image. Standard library only: the LZW coder is our own.
"""

import math
import os
import struct
import sys

WIDTH, HEIGHT = 49, 48
FRAMES = 12
DOTS = 12
# The dialog clears to the button face; the picture is drawn on the same light grey.
BACKGROUND = (240, 240, 240)
INK = (31, 78, 156)
RING_RADIUS = 15.5
DOT_RADIUS = 3.4
SUPERSAMPLE = 4


def palette():
    """256 steps from the background (index 0) to the ink (index 255)."""
    table = bytearray()
    for i in range(256):
        for back, ink in zip(BACKGROUND, INK):
            table.append(round(back + (ink - back) * i / 255))
    return bytes(table)


def dot_centres():
    cx, cy = (WIDTH - 1) / 2, (HEIGHT - 1) / 2
    for i in range(DOTS):
        angle = 2 * math.pi * i / DOTS - math.pi / 2  # dot 0 at the top, going clockwise
        yield cx + RING_RADIUS * math.cos(angle), cy + RING_RADIUS * math.sin(angle)


def draw_frame(head):
    """Palette indices of one frame: the dot at `head` in full ink, the ones behind it fading."""
    dots = []
    for i, (x, y) in enumerate(dot_centres()):
        age = (head - i) % DOTS
        dots.append((x, y, 1.0 - 0.85 * age / (DOTS - 1)))
    pixels = bytearray(WIDTH * HEIGHT)
    step = 1 / SUPERSAMPLE
    for py in range(HEIGHT):
        for px in range(WIDTH):
            alpha = 0.0
            for x, y, strength in dots:
                if abs(px - x) > DOT_RADIUS + 1 or abs(py - y) > DOT_RADIUS + 1:
                    continue
                inside = 0
                for sy in range(SUPERSAMPLE):
                    for sx in range(SUPERSAMPLE):
                        dx = px - 0.5 + (sx + 0.5) * step - x
                        dy = py - 0.5 + (sy + 0.5) * step - y
                        inside += dx * dx + dy * dy <= DOT_RADIUS * DOT_RADIUS
                alpha = max(alpha, strength * inside / SUPERSAMPLE**2)
            pixels[py * WIDTH + px] = round(alpha * 255)
    return bytes(pixels)


class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.bits = 0
        self.count = 0

    def write(self, code, width):
        self.bits |= code << self.count
        self.count += width
        while self.count >= 8:
            self.out.append(self.bits & 0xFF)
            self.bits >>= 8
            self.count -= 8

    def finish(self):
        if self.count:
            self.out.append(self.bits & 0xFF)
        return bytes(self.out)


def lzw_encode(indices, min_code_size):
    """Variable-width LZW as GIF wants it (codes packed from the least significant bit)."""
    clear = 1 << min_code_size
    end = clear + 1
    writer = BitWriter()

    def reset():
        return {bytes([i]): i for i in range(clear)}, end + 1, min_code_size + 1

    table, next_code, width = reset()
    writer.write(clear, width)
    current = b""
    for value in indices:
        extended = current + bytes([value])
        if extended in table:
            current = extended
            continue
        writer.write(table[current], width)
        table[extended] = next_code
        # The reader learns each code one step later, so it widens when this code needs it.
        if next_code == 1 << width and width < 12:
            width += 1
        next_code += 1
        if next_code == 4096:
            writer.write(clear, width)
            table, next_code, width = reset()
        current = bytes([value])
    if current:
        writer.write(table[current], width)
    writer.write(end, width)
    return writer.finish()


def sub_blocks(data):
    out = bytearray()
    for at in range(0, len(data), 255):
        chunk = data[at : at + 255]
        out.append(len(chunk))
        out += chunk
    out.append(0)
    return bytes(out)


def gif(frames):
    out = bytearray(b"GIF89a")
    # Logical screen: global table of 2^(7+1) entries, 8 bits of colour resolution.
    out += struct.pack("<HHBBB", WIDTH, HEIGHT, 0xF7, 0, 0)
    out += palette()
    # Loop for ever.
    out += b"\x21\xff\x0bNETSCAPE2.0" + sub_blocks(struct.pack("<BH", 1, 0))
    for pixels in frames:
        # Graphic control: disposal 1 (leave in place), delay 0, no transparent colour.
        out += b"\x21\xf9\x04" + struct.pack("<BHB", 1 << 2, 0, 0) + b"\x00"
        out += b"\x2c" + struct.pack("<HHHHB", 0, 0, WIDTH, HEIGHT, 0)
        out += b"\x08" + sub_blocks(lzw_encode(pixels, 8))
    out += b"\x3b"
    return bytes(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "spinner.gif")
    with open(target, "wb") as f:
        f.write(gif(draw_frame(head) for head in range(FRAMES)))


if __name__ == "__main__":
    main()
