#!/usr/bin/env python3
"""Draws Tessaro's shipped pictures: the six 32 x 32 toolbar bitmaps (light grey
background, which the toolbar treats as transparent), the logo and the application icon.
Pure Python, so it runs anywhere: python3 scripts/draw_resources.py [resources-dir];
python3 scripts/draw_resources.py --icon SIZE PATH draws the icon alone at another size."""

import math
import os
import struct
import sys
import zlib

GREY = (192, 192, 192)  # the toolbar's transparent colour
INK = (30, 40, 60)
BLUE = (20, 90, 200)
GREEN = (20, 150, 60)
RED = (200, 40, 30)
WHITE = (255, 255, 255)
ORANGE = (235, 130, 20)

# 5 x 7 letters for the captions drawn into the pictures.
FONT = {
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    " ": ["00000"] * 7,
}


class Canvas:
    def __init__(self, width, height, background):
        self.width, self.height = width, height
        self.pixels = [[background] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour, width=1):
        for i in range(width):
            self.rect(x0 + i, y0 + i, x1 - i, y0 + i, colour)
            self.rect(x0 + i, y1 - i, x1 - i, y1 - i, colour)
            self.rect(x0 + i, y0 + i, x0 + i, y1 - i, colour)
            self.rect(x1 - i, y0 + i, x1 - i, y1 - i, colour)

    def disc(self, cx, cy, r, colour):
        for y in range(cy - r, cy + r + 1):
            for x in range(cx - r, cx + r + 1):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.put(x, y, colour)

    def ring(self, cx, cy, r, width, colour, skip=None):
        for y in range(cy - r, cy + r + 1):
            for x in range(cx - r, cx + r + 1):
                d = math.hypot(x - cx, y - cy)
                angle = math.degrees(math.atan2(cy - y, x - cx)) % 360
                if r - width < d <= r and not (skip and skip[0] <= angle <= skip[1]):
                    self.put(x, y, colour)

    def text(self, x, y, s, colour, scale=1):
        for ch in s:
            for row, bits in enumerate(FONT[ch]):
                for col, bit in enumerate(bits):
                    if bit == "1":
                        self.rect(x + col * scale, y + row * scale,
                                  x + col * scale + scale - 1, y + row * scale + scale - 1, colour)
            x += 6 * scale

    def triangle(self, points, colour):
        (ax, ay), (bx, by), (cx, cy) = points
        for y in range(min(ay, by, cy), max(ay, by, cy) + 1):
            for x in range(min(ax, bx, cx), max(ax, bx, cx) + 1):
                d1 = (x - bx) * (ay - by) - (ax - bx) * (y - by)
                d2 = (x - cx) * (by - cy) - (bx - cx) * (y - cy)
                d3 = (x - ax) * (cy - ay) - (cx - ax) * (y - ay)
                neg = d1 < 0 or d2 < 0 or d3 < 0
                pos = d1 > 0 or d2 > 0 or d3 > 0
                if not (neg and pos):
                    self.put(x, y, colour)


def write_bmp(path, canvas):
    row_size = (canvas.width * 3 + 3) & ~3
    data = bytearray()
    for y in range(canvas.height - 1, -1, -1):  # bottom-up rows
        row = bytearray()
        for r, g, b in canvas.pixels[y]:
            row += bytes((b, g, r))
        row += b"\0" * (row_size - len(row))
        data += row
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0, len(data),
                       2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def write_png(path, canvas, transparent=None):
    raw = bytearray()
    for row in canvas.pixels:
        raw.append(0)
        for pixel in row:
            alpha = 0 if pixel == transparent else 255
            raw += bytes(pixel) + bytes((alpha,))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def english():
    c = Canvas(32, 32, GREY)
    c.rect(3, 6, 28, 25, WHITE)
    c.frame(3, 6, 28, 25, BLUE, 2)
    c.text(5, 10, "EN", BLUE, 2)
    return c


def chinese():
    c = Canvas(32, 32, GREY)
    c.rect(3, 3, 28, 28, WHITE)
    c.frame(3, 3, 28, 28, RED, 2)
    # The character zhong: a box crossed by a long vertical stroke.
    c.frame(8, 11, 23, 20, RED, 2)
    c.rect(15, 6, 16, 25, RED)
    return c


def tray_with_arrow(up):
    c = Canvas(32, 32, GREY)
    c.rect(4, 22, 27, 23, INK)
    c.rect(4, 17, 5, 23, INK)
    c.rect(26, 17, 27, 23, INK)
    colour = ORANGE if up else GREEN
    c.rect(14, 5 if up else 3, 17, 15 if up else 13, colour)
    if up:
        c.triangle(((9, 9), (22, 9), (15, 2)), colour)
    else:
        c.triangle(((9, 12), (22, 12), (15, 19)), colour)
    return c


def restore():
    c = Canvas(32, 32, GREY)
    c.ring(16, 16, 11, 3, BLUE, skip=(60, 110))
    c.triangle(((17, 2), (17, 12), (24, 7)), BLUE)
    c.disc(16, 16, 3, INK)
    return c


def exit_door():
    c = Canvas(32, 32, GREY)
    c.rect(5, 4, 18, 28, (120, 80, 40))
    c.frame(5, 4, 18, 28, INK)
    c.disc(15, 17, 1, (240, 200, 80))
    c.rect(18, 15, 26, 17, RED)
    c.triangle(((24, 11), (24, 21), (30, 16)), RED)
    return c


def logo():
    c = Canvas(224, 44, (0, 0, 0))
    transparent = (0, 0, 0)
    c.ring(21, 22, 19, 4, BLUE)
    for k in range(3):  # a three-phase motor's windings
        a = math.radians(90 + 120 * k)
        c.disc(21 + round(9 * math.cos(a)), 22 - round(9 * math.sin(a)), 5, ORANGE)
    c.disc(21, 22, 3, INK)
    c.text(48, 8, "TESSARO", INK, 4)
    return c, transparent


def icon():
    c = Canvas(64, 64, (0, 0, 0))
    c.disc(32, 32, 30, BLUE)
    c.disc(32, 32, 24, WHITE)
    for k in range(3):
        a = math.radians(90 + 120 * k)
        c.disc(32 + round(12 * math.cos(a)), 32 - round(12 * math.sin(a)), 7, ORANGE)
    c.disc(32, 32, 4, INK)
    return c, (0, 0, 0)


def icon_at(size, samples=4):
    """The application icon drawn anew at size x size pixels: the 64-pixel drawing scaled,
    each pixel the mean of samples x samples points (edges smoothed, background clear)."""
    big = size * samples
    scale = big / 64
    c = Canvas(big, big, None)
    c.disc(big // 2, big // 2, round(30 * scale), BLUE)
    c.disc(big // 2, big // 2, round(24 * scale), WHITE)
    for k in range(3):
        a = math.radians(90 + 120 * k)
        c.disc(big // 2 + round(12 * scale * math.cos(a)),
               big // 2 - round(12 * scale * math.sin(a)), round(7 * scale), ORANGE)
    c.disc(big // 2, big // 2, round(4 * scale), INK)
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            points = [c.pixels[y * samples + j][x * samples + i]
                      for j in range(samples) for i in range(samples)]
            inked = [p for p in points if p is not None]
            alpha = round(255 * len(inked) / len(points))
            if not inked:
                row.append((0, 0, 0, 0))
                continue
            row.append(tuple(round(sum(p[k] for p in inked) / len(inked)) for k in range(3))
                       + (alpha,))
        rows.append(row)
    return rows


def write_rgba_png(path, rows):
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for pixel in row:
            raw += bytes(pixel)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def main():
    # --icon SIZE PATH: only the application icon, at that size (the package's hicolor set).
    if len(sys.argv) == 4 and sys.argv[1] == "--icon":
        write_rgba_png(sys.argv[3], icon_at(int(sys.argv[2])))
        return
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "resources")
    res = os.path.join(root, "res")
    os.makedirs(res, exist_ok=True)
    pictures = {
        "English.bmp": english(),
        "Chinese.bmp": chinese(),
        "ImportData.bmp": tray_with_arrow(up=True),   # the button issuing Export Data
        "ExportData.bmp": tray_with_arrow(up=False),  # the button issuing Import Data
        "Restore.bmp": restore(),
        "Exit.bmp": exit_door(),
    }
    for name, canvas in pictures.items():
        write_bmp(os.path.join(res, name), canvas)
    canvas, transparent = logo()
    write_png(os.path.join(root, "Ravoklogo.png"), canvas, transparent)
    canvas, transparent = icon()
    write_png(os.path.join(root, "tessaro.png"), canvas, transparent)


if __name__ == "__main__":
    main()
