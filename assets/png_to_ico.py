#!/usr/bin/env python3
"""Windows icon containers (.ico) from PNG files or from pixel drawings.

    png_to_ico.py OUTPUT.ico INPUT.png [INPUT.png ...]

wraps each PNG as one icon image, its size read from the PNG header (Windows
Vista and later, and wine, read PNG icon images). make_icon.py and
make_fleet_icon.py call ico_bytes() with their drawing at each icon size:
images under 256 pixels are stored as 32-bit bitmaps with an AND mask, which
every Windows reads, the 256-pixel one as PNG, which keeps the file small.
"""
import struct
import sys


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise ValueError("not a PNG image")
    return struct.unpack(">II", data[16:24])


def bitmap_bytes(px):
    """A square RGBA drawing (rows of (r, g, b, a)) as an icon bitmap: the
    header (twice the height: colour image and mask), the BGRA rows bottom
    up, then the 1-bit AND mask, set where the drawing is fully transparent."""
    size = len(px)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    colours = b"".join(bytes((b, g, r, a)) for row in reversed(px) for r, g, b, a in row)
    mask_row_bytes = (size + 31) // 32 * 4
    mask = b""
    for row in reversed(px):
        bits = 0
        for x, pixel in enumerate(row):
            if pixel[3] == 0:
                bits |= 1 << (mask_row_bytes * 8 - 1 - x)
        mask += bits.to_bytes(mask_row_bytes, "big")
    return header + colours + mask


def ico_bytes(images):
    """The .ico holding `images`, each (width, height, bytes of a bitmap or a PNG)."""
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries = b""
    for width, height, data in images:
        if width > 256 or height > 256:
            raise ValueError("an icon image is at most 256 x 256")
        # 256 is written as 0 in the one-byte size fields.
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32,
                               len(data), offset)
        offset += len(data)
    return header + entries + b"".join(data for _, _, data in images)


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    images = []
    for path in argv[2:]:
        with open(path, "rb") as f:
            data = f.read()
        images.append(png_size(data) + (data,))
    with open(argv[1], "wb") as f:
        f.write(ico_bytes(images))


if __name__ == "__main__":
    main(sys.argv)
