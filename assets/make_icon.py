#!/usr/bin/env python3
"""Draws the window icon: a collector box with an upward arrow (firmware going up).

Without arguments it writes collector.png (32x32 RGBA) next to this script.
With a size and a path it writes the icon at that size (16 to 1024 pixels) for
the desktop icon theme: up to 64 pixels scaled from the 32-pixel drawing by
area averaging; larger sizes drawn at their own size from the same shapes as
outlines (true diagonals, rounded corners, edges of a few pixels,
antialiased), so the 256-pixel icon has no steps of the 32-pixel grid. With
--ico it writes the Windows icon, the drawing at each of ICO_SIZES:

    python3 make_icon.py [SIZE OUT.png | --ico OUT.ico]

Only the standard library is used, so the icon can be redrawn anywhere.
"""
import os
import struct
import sys
import zlib

import png_to_ico

SIZE = 32
# The sizes Windows asks for at 100 % to 200 % scaling (small and large
# icons, lists, Explorer's views), each drawn rather than stretched.
ICO_SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
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


def scaled(px, size):
    """Resamples the SIZE x SIZE drawing to size x size: each output pixel is
    the area-weighted mean of the drawing pixels it covers, with colours
    weighted by their alpha so transparent pixels do not darken edges.
    Lengths are counted in 1/(SIZE*size) of the icon, so all sums are exact
    integers, and means are rounded half up."""
    out = []
    for oy in range(size):
        row = []
        for ox in range(size):
            weighted = [0, 0, 0]
            alpha = 0
            for sy, hy in _spans(oy, size):
                for sx, wx in _spans(ox, size):
                    r, g, b, a = px[sy][sx]
                    w = wx * hy * a
                    weighted = [weighted[0] + r * w, weighted[1] + g * w, weighted[2] + b * w]
                    alpha += wx * hy * a
            if alpha == 0:
                row.append(TRANSPARENT)
            else:
                colour = tuple(_round_div(c, alpha) for c in weighted)
                row.append(colour + (_round_div(alpha, SIZE * SIZE),))
        out.append(row)
    return out


def _spans(index, size):
    """The drawing pixels under output pixel `index`, each with the covered
    length: output pixel i spans [i*SIZE, (i+1)*SIZE), drawing pixel j spans
    [j*size, (j+1)*size)."""
    start, end = index * SIZE, (index + 1) * SIZE
    for j in range(start // size, min(-(-end // size), SIZE)):
        covered = min(end, (j + 1) * size) - max(start, j * size)
        if covered > 0:
            yield j, covered


def _round_div(numerator, denominator):
    return (2 * numerator + denominator) // (2 * denominator)


def png_bytes(px):
    size = len(px)
    raw = b"".join(b"\x00" + b"".join(bytes(p) for p in row) for row in px)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


# Above this size an icon is drawn at its own size from the shapes, not
# scaled from the 32-pixel drawing.
LARGEST_SCALED = 64


def shapes():
    """The drawing of draw() as outlines in its 32-unit square, bottom first:
    (kind, colour, geometry). 'box' is (x0, y0, x1, y1, corner radius),
    'polygon' a list of corners; the case and the arrow have a dark edge of
    EDGE units around a lighter inside."""
    return [
        ("box", CASE_EDGE, (5, 6, 7, 12.5, 0.5)),                  # antenna
        ("box", CASE_EDGE, (2, 12, 30, 30, 2.5)),                  # case
        ("box", CASE, (2 + EDGE, 12 + EDGE, 30 - EDGE, 30 - EDGE, 2.5 - EDGE)),
        ("box", SCREEN, (6, 16, 20, 24, 0.75)),
        ("box", LED, (23, 17, 26, 20, 1.5)),
        ("box", LED, (23, 22, 26, 25, 1.5)),
        ("polygon", ARROW_EDGE, [(20.5, 0.6), (29.6, 9.7), (24, 9.7), (24, 21), (17, 21),
                                 (17, 9.7), (11.4, 9.7)]),
        ("polygon", ARROW, [(20.5, 2.3), (27.2, 9), (23.3, 9), (23.3, 20.3), (17.7, 20.3),
                            (17.7, 9), (13.8, 9)]),
    ]


EDGE = 0.7  # the dark edges' width in drawing units at large sizes


def _line_spans(kind, geometry, y):
    """The x intervals of a shape on the horizontal line y (drawing units)."""
    if kind == "box":
        x0, y0, x1, y1, r = geometry
        if not y0 <= y < y1:
            return []
        inset = 0.0
        corner = min(y - y0, y1 - y)
        if corner < r:
            inset = r - (r * r - (r - corner) ** 2) ** 0.5
        return [(x0 + inset, x1 - inset)]
    crossings = []
    for (ax, ay), (bx, by) in zip(geometry, geometry[1:] + geometry[:1]):
        if (ay <= y < by) or (by <= y < ay):
            crossings.append(ax + (y - ay) * (bx - ax) / (by - ay))
    crossings.sort()
    return list(zip(crossings[0::2], crossings[1::2]))


def drawn(size, outline=None):
    """The shapes filled at `size` pixels: each pixel's coverage is exact
    across and sampled at 8 lines down, and each shape lies over those below
    it (colours premultiplied by coverage while painting)."""
    unit = size / SIZE
    lines = 8
    canvas = [[[0.0, 0.0, 0.0, 0.0] for _ in range(size)] for _ in range(size)]
    for kind, colour, geometry in (outline or shapes)():
        for py in range(size):
            cover = [0.0] * size
            for line in range(lines):
                y = (py + (line + 0.5) / lines) / unit
                for a, b in _line_spans(kind, geometry, y):
                    a, b = max(a * unit, 0.0), min(b * unit, float(size))
                    for px in range(int(a), min(int(b) + 1, size)):
                        covered = min(b, px + 1) - max(a, px)
                        if covered > 0:
                            cover[px] += covered / lines
            row = canvas[py]
            for px, c in enumerate(cover):
                if c > 0:
                    c = min(c, 1.0)
                    pixel = row[px]
                    for i in range(3):
                        pixel[i] = colour[i] * c + pixel[i] * (1 - c)
                    pixel[3] = c + pixel[3] * (1 - c)
    return [[TRANSPARENT if p[3] <= 0 else
             tuple(min(255, int(p[i] / p[3] + 0.5)) for i in range(3)) + (int(p[3] * 255 + 0.5),)
             for p in row] for row in canvas]


def at_size(px, size, outline=None):
    if size > LARGEST_SCALED:
        return drawn(size, outline)
    return px if size == SIZE else scaled(px, size)


def ico_bytes(px, outline=None):
    """The Windows icon of the drawing `px` (with its shapes `outline` for
    the large sizes): a bitmap at each size below 256, the 256-pixel image,
    drawn at its size, as PNG."""
    images = []
    for size in ICO_SIZES:
        image = at_size(px, size, outline)
        data = png_bytes(image) if size == 256 else png_to_ico.bitmap_bytes(image)
        images.append((size, size, data))
    return png_to_ico.ico_bytes(images)


def run(args, draw_icon, default_name, outline=None):
    """The command line of this script and of make_fleet_icon.py, for the
    drawing `draw_icon` (its shapes `outline` for large sizes) whose 32-pixel
    PNG is `default_name` next to them."""
    name = os.path.basename(sys.argv[0])
    if not args:
        size, out = SIZE, os.path.join(os.path.dirname(os.path.abspath(__file__)), default_name)
    elif len(args) == 2 and args[0] == "--ico":
        with open(args[1], "wb") as f:
            f.write(ico_bytes(draw_icon(), outline))
        return
    elif len(args) == 2 and args[0].isdigit() and 16 <= int(args[0]) <= 1024:
        size, out = int(args[0]), args[1]
    else:
        sys.exit(f"usage: {name} [SIZE OUT.png | --ico OUT.ico]   (SIZE from 16 to 1024)")
    with open(out, "wb") as f:
        f.write(png_bytes(at_size(draw_icon(), size, outline)))


if __name__ == "__main__":
    run(sys.argv[1:], draw, "collector.png")
