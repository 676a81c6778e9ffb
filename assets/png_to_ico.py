#!/usr/bin/env python3
"""Wraps PNG images in an ICO container (Windows Vista and wine read PNG icons).

Usage: png_to_ico.py OUTPUT.ico INPUT.png [INPUT.png ...]
Each PNG becomes one icon image; its size is read from the PNG header.
"""
import struct
import sys


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise ValueError("not a PNG image")
    return struct.unpack(">II", data[16:24])


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    images = []
    for path in argv[2:]:
        with open(path, "rb") as f:
            images.append(f.read())
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries = b""
    for data in images:
        width, height = png_size(data)
        if width > 256 or height > 256:
            raise ValueError("an icon image is at most 256 x 256")
        # 256 is written as 0 in the one-byte size fields.
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32,
                               len(data), offset)
        offset += len(data)
    with open(argv[1], "wb") as f:
        f.write(header + entries + b"".join(images))


if __name__ == "__main__":
    main(sys.argv)
