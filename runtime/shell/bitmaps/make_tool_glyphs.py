#!/usr/bin/env python3
"""Writes 4-bit tool-bar glyphs on the button-face grey, in the four colours
that tool bars map to the system colours (black, dark grey, light grey,
white): a square of size x size with a black frame inset by 2 and a white
and dark grey inner shading, varied by the mark given.

  make_tool_glyphs.py OUT SIZE MARK   (MARK: "open", "close", "tall")
"""
import struct
import sys

BLACK, DARK, FACE, WHITE = 0, 1, 2, 3
TABLE = [(0, 0, 0), (128, 128, 128), (192, 192, 192), (255, 255, 255)]


def glyph(size, mark):
    px = [[FACE] * size for _ in range(size)]
    for i in range(2, size - 2):
        px[2][i] = px[size - 3][i] = px[i][2] = px[i][size - 3] = BLACK
    for i in range(3, size - 3):
        px[3][i] = WHITE
        px[size - 4][i] = DARK
    if mark == "open":
        for i in range(4, size - 4):
            px[size // 2][i] = BLACK
    elif mark == "close":
        for i in range(4, size - 4):
            px[i][i] = px[i][size - 1 - i] = BLACK
    else:
        for i in range(4, size - 4):
            px[i][size // 2] = BLACK
    return px


def bmp(px):
    h, w = len(px), len(px[0])
    stride = ((w * 4 + 31) // 32) * 4
    rows = b""
    for row in reversed(px):
        data = bytearray(stride)
        for x, v in enumerate(row):
            data[x // 2] |= v << (4 if x % 2 == 0 else 0)
        rows += bytes(data)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in TABLE) + bytes(4 * 12)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, len(rows), 2835, 2835, 16, 0)
    offset = 14 + len(info) + len(table)
    return b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset) + info + table + rows


if __name__ == "__main__":
    out, size, mark = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    with open(out, "wb") as f:
        f.write(bmp(glyph(size, mark)))
