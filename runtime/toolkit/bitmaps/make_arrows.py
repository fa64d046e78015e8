#!/usr/bin/env python3
"""Writes the 13 x 13 arrow bitmaps of the list and wizard buttons.

Each is a 24-bit BMP on the face grey (its top-left pixel, which the bitmap
buttons draw transparent) with black triangles: 8000 ">", 8001 "<", 8002 up,
8003 down, 8004 ">>", 8005 "<<", 8010 both ways ("<>", replace).
"""
import struct

SIZE = 13
GREY, BLACK = (192, 192, 192), (0, 0, 0)


def triangle(pixels, tip_x, direction, width=4):
    # A triangle pointing along x: its tip at tip_x, rows 6 +- (width - 1).
    for step in range(width):
        x = tip_x - direction * step
        for y in range(6 - step, 7 + step):
            pixels[y][x] = BLACK


def rotate(pixels):
    return [[pixels[x][y] for x in range(SIZE)] for y in range(SIZE)]


def image(tips):
    pixels = [[GREY] * SIZE for _ in range(SIZE)]
    for tip_x, direction in tips:
        triangle(pixels, tip_x, direction)
    return pixels


def write(name, pixels):
    stride = (SIZE * 3 + 3) // 4 * 4
    rows = b"".join(
        bytes(c for (r, g, b) in row for c in (b, g, r)).ljust(stride, b"\0") for row in reversed(pixels))
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(rows), 0, 0, 14 + len(info))
    with open(name, "wb") as f:
        f.write(head + info + rows)


right, left = image([(8, 1)]), image([(4, -1)])
write("8000.bmp", right)
write("8001.bmp", left)
write("8002.bmp", rotate(left))
write("8003.bmp", rotate(right))
write("8004.bmp", image([(6, 1), (10, 1)]))
write("8005.bmp", image([(2, -1), (6, -1)]))
write("8010.bmp", image([(1, -1), (11, 1)]))
