#!/usr/bin/env python3
"""Draws the fleet window's icon: three collector boxes side by side under
one upward arrow (many collectors upgraded at once), in the main icon's colours.

    python3 make_fleet_icon.py [SIZE OUT.png | --ico OUT.ico]

Without arguments it writes collector-fleet.png (32x32) next to this script;
the arguments are make_icon.py's.
"""
import sys

import make_icon as base


def draw():
    size = base.SIZE
    px = [[base.TRANSPARENT] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                px[y][x] = colour

    for left in (1, 11, 21):
        rect(left, 16, left + 9, 29, base.CASE_EDGE)
        rect(left + 1, 17, left + 8, 28, base.CASE)
        rect(left + 2, 19, left + 6, 23, base.SCREEN)
        rect(left + 7, 25, left + 7, 26, base.LED)
    cx, top = 15, 1
    for row in range(8):
        y = top + row
        for x in range(cx - row, cx + row + 1):
            edge = x in (cx - row, cx + row) or row == 7
            px[y][x] = base.ARROW_EDGE if edge else base.ARROW
    rect(12, 9, 18, 14, base.ARROW_EDGE)
    rect(13, 9, 17, 13, base.ARROW)
    return px


def shapes():
    """draw()'s shapes in outline, for the large sizes (see make_icon.shapes)."""
    edge = base.EDGE
    found = []
    for left in (1, 11, 21):
        found += [("box", base.CASE_EDGE, (left, 16, left + 10, 30, 1.5)),
                  ("box", base.CASE, (left + edge, 16 + edge, left + 10 - edge, 30 - edge,
                                      1.5 - edge)),
                  ("box", base.SCREEN, (left + 2, 19, left + 7, 24, 0.5)),
                  ("box", base.LED, (left + 7, 25, left + 8.6, 27, 0.8))]
    found += [("polygon", base.ARROW_EDGE, [(15.5, 0.6), (23.6, 8.7), (19, 8.7), (19, 15),
                                            (12, 15), (12, 8.7), (7.4, 8.7)]),
              ("polygon", base.ARROW, [(15.5, 2.3), (21.2, 8), (18.3, 8), (18.3, 14.3),
                                       (12.7, 14.3), (12.7, 8), (9.8, 8)])]
    return found


if __name__ == "__main__":
    base.run(sys.argv[1:], draw, "collector-fleet.png", shapes)
