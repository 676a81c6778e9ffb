"""The desktop entry, the AppStream metainfo and the icon drawing, checked by
the desktop's own validators and against values fixed here."""
import configparser
import os
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree
import zlib

SOURCE = os.environ.get("SOURCE_DIRECTORY", os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.environ.get("BUILD_DIRECTORY", os.path.join(SOURCE, "build"))
APP_ID = "net.fieldcollector.CollectorUpgrade"
DESKTOP = os.path.join(SOURCE, "packaging", APP_ID + ".desktop")
METAINFO = os.path.join(BUILD, "packaging", APP_ID + ".metainfo.xml")
MAKE_ICON = os.path.join(SOURCE, "assets", "make_icon.py")


def run(*argv):
    return subprocess.run(argv, capture_output=True, text=True)


def read_png(path):
    """(width, height, rows of RGBA tuples) of an 8-bit RGBA PNG whose rows
    all use filter 0, which is what the drawing script writes."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data):
        length = int.from_bytes(data[pos:pos + 4], "big")
        kind, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height = int.from_bytes(body[:4], "big"), int.from_bytes(body[4:8], "big")
            assert body[8:10] == b"\x08\x06", "8-bit RGBA expected"
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = 1 + 4 * width
    rows = []
    for y in range(height):
        line = raw[y * stride:(y + 1) * stride]
        assert line[0] == 0, "filter 0 expected"
        rows.append([tuple(line[1 + 4 * x:5 + 4 * x]) for x in range(width)])
    return width, height, rows


class DesktopEntryTest(unittest.TestCase):
    def test_validator_accepts_the_entry(self):
        result = run("desktop-file-validate", DESKTOP)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertNotIn("error", result.stdout + result.stderr)

    def test_names_category_command_and_icon(self):
        entry = configparser.ConfigParser(interpolation=None)
        entry.optionxform = str
        entry.read(DESKTOP, encoding="utf-8")
        group = entry["Desktop Entry"]
        self.assertEqual(group["Name"], "Collector Upgrade")
        self.assertEqual(group["Name[zh_CN]"], "采集器程序升级工具")
        self.assertEqual(group["Categories"], "Network;Utility;")
        self.assertEqual(group["Exec"], "CollectorUpgrade")
        self.assertEqual(group["Icon"], APP_ID)


class MetainfoTest(unittest.TestCase):
    def test_validator_accepts_the_metainfo_offline(self):
        result = run("appstreamcli", "validate", "--no-net", METAINFO)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_launches_the_desktop_entry_and_shows_the_screenshot(self):
        root = ElementTree.parse(METAINFO).getroot()
        self.assertEqual(root.findtext("id"), APP_ID)
        self.assertEqual(root.findtext("launchable"), APP_ID + ".desktop")
        image = root.findtext("screenshots/screenshot/image")
        self.assertTrue(image.startswith("https://") and image.endswith("/screenshot.png"), image)
        self.assertEqual(root.find("releases/release").get("version"), "1.0.0")


class IconTest(unittest.TestCase):
    # Colours of the drawing, as RGBA.
    TRANSPARENT = (0, 0, 0, 0)
    ARROW = (46, 160, 67, 255)
    CASE_EDGE = (20, 46, 82, 255)

    def draw(self, size):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "icon.png")
            result = run("python3", MAKE_ICON, str(size), path)
            self.assertEqual(result.returncode, 0, result.stderr)
            return read_png(path)

    def test_32_pixels_is_the_committed_window_icon(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "icon.png")
            run("python3", MAKE_ICON, "32", path)
            with open(path, "rb") as drawn, open(os.path.join(SOURCE, "assets", "collector.png"),
                                                  "rb") as committed:
                self.assertEqual(drawn.read(), committed.read())

    def test_every_theme_size_has_its_dimensions(self):
        for size in (16, 24, 48, 64, 128, 256):
            with self.subTest(size=size):
                width, height, _ = self.draw(size)
                self.assertEqual((width, height), (size, size))

    def test_scaled_pixels_average_the_drawing(self):
        # 16: each pixel is a 2x2 block of the drawing; (10, 2) lies inside the arrow head.
        _, _, px16 = self.draw(16)
        self.assertEqual(px16[0][0], self.TRANSPARENT)
        self.assertEqual(px16[2][10], self.ARROW)
        # 64: each drawing pixel becomes 2x2.
        _, _, px64 = self.draw(64)
        self.assertEqual(px64[8][40], self.ARROW)
        self.assertEqual(px64[41][41], px64[40][40])
        # 24: pixel (1, 12) covers two thirds of a transparent column and two
        # thirds of the case's dark edge: half covered, in the edge's colour.
        _, _, px24 = self.draw(24)
        self.assertEqual(px24[12][1], self.CASE_EDGE[:3] + (128,))

    def test_256_pixels_is_drawn_at_its_size(self):
        # Scaled from 32 pixels, every 8x8 block would be one colour. Drawn
        # at its size, the arrow head's diagonal edge crosses pixels: along
        # its row at y = 40 the colour changes within a block, through
        # partly covered (blended) pixels.
        _, _, px = self.draw(256)
        row = px[40][96:200]
        self.assertTrue(any(row[i] != row[i + 1] and (i + 1) % 8 for i in range(len(row) - 1)))
        self.assertEqual(px[60][164], self.ARROW)

    def test_rejects_sizes_outside_the_range(self):
        for size in ("8", "2000", "big"):
            with self.subTest(size=size):
                self.assertNotEqual(run("python3", MAKE_ICON, size, os.devnull).returncode, 0)


if __name__ == "__main__":
    unittest.main()
