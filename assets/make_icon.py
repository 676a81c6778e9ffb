#!/usr/bin/env python3
"""Draws the window icon: a collector box with an upward arrow (firmware going up).

Writes collector.png (32x32 RGBA) next to this script. Only the standard
library is used, so the icon can be redrawn anywhere:  python3 make_icon.py
"""
import os
import struct
import zlib

SIZE = 32
TRANSPARENT = (0, 0, 0, 0)
CASE = (38, 84, 140, 255)        # device body
CASE_EDGE = (20, 46, 82, 255)
SCREEN = (214, 232, 246, 255)
LED = (250, 190, 40, 255)
ARROW = (46, 160, 67, 255)
ARROW_EDGE = (24, 100, 40, 255)


def draw():
    px = [[TRANSPARENT] * SIZE for _ in range(SIZE)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                px[y][x] = colour

    # Device body with a one-pixel darker edge and a small display window.
    rect(2, 12, 29, 29, CASE_EDGE)
    rect(3, 13, 28, 28, CASE)
    rect(6, 16, 19, 23, SCREEN)
    rect(23, 17, 25, 19, LED)
    rect(23, 22, 25, 24, LED)
    # Antenna.
    rect(5, 6, 6, 11, CASE_EDGE)
    # Upward arrow over the right half: a triangle head and a shaft.
    cx, top = 20, 1
    for row in range(9):
        half = row
        y = top + row
        for x in range(cx - half, cx + half + 1):
            edge = x in (cx - half, cx + half) or row == 8
            px[y][x] = ARROW_EDGE if edge else ARROW
    rect(17, 10, 23, 20, ARROW_EDGE)
    rect(18, 10, 22, 19, ARROW)
    return px


def png_bytes(px):
    raw = b"".join(b"\x00" + b"".join(bytes(p) for p in row) for row in px)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "collector.png")
    with open(out, "wb") as f:
        f.write(png_bytes(draw()))
