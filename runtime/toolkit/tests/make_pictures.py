#!/usr/bin/python3
"""Writes the picture files of the reader tests into a folder, each with the
pixels Pillow decodes from it.

For every picture NAME.EXT it writes NAME.rgb: width and height as 32-bit
little-endian numbers, then the pixels top row first, 3 bytes (red, green,
blue) each, as Pillow reads NAME.EXT back. Files Pillow cannot write (4-bit
and bit-field BMPs, 4-plane PCX) are packed here by hand and still decoded by
Pillow for the reference, except the 4-plane PCX: Pillow takes its planes in
the other bit order and ceil(width / 8) bytes apart instead of bytes-per-line,
so its reference is the picture that was packed.

usage: make_pictures.py FOLDER
"""
import io
import os
import struct
import sys

from PIL import Image


def pattern(w, h):
    """A picture with gradients, hard edges and every corner different."""
    im = Image.new("RGB", (w, h))
    px = im.load()
    for y in range(h):
        for x in range(w):
            r = (x * 255) // max(1, w - 1)
            g = (y * 255) // max(1, h - 1)
            b = 255 if (x // 4 + y // 3) % 2 else 30
            if x == 0 or y == 0:
                r, g, b = 255, 0, 0
            px[x, y] = (r, g, b)
    return im


def noise(w, h, colors):
    """Pseudo-random pixels, so the GIF encoder fills its string table."""
    im = Image.new("P", (w, h))
    im.putpalette([(i * 37) % 256 for i in range(3 * colors)])
    seed = 12345
    data = []
    for i in range(w * h):
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        # runs of equal pixels too, so long strings appear
        data.append((seed >> 16) % colors if (i // 7) % 3 else (i // 50) % colors)
    im.putdata(data)
    return im


def write_reference(folder, name, path, source=None):
    if source is None:
        source = Image.open(path)
        source.load()
    rgb = source.convert("RGB")
    with open(os.path.join(folder, name + ".rgb"), "wb") as f:
        f.write(struct.pack("<II", rgb.width, rgb.height))
        f.write(rgb.tobytes())


def rle_pcx(data):
    out = bytearray()
    i = 0
    while i < len(data):
        run = 1
        while i + run < len(data) and data[i + run] == data[i] and run < 63:
            run += 1
        if run > 1 or data[i] >= 0xC0:
            out += bytes([0xC0 | run, data[i]])
        else:
            out.append(data[i])
        i += run
    return bytes(out)


def pcx_4plane(im):
    """A 16-colour picture as 4 planes of 1 bit, palette in the header."""
    w, h = im.size
    bpl = ((w + 15) // 16) * 2
    pal = im.getpalette()[:48]
    pal += [0] * (48 - len(pal))
    header = struct.pack("<BBBBHHHHHH", 10, 5, 1, 1, 0, 0, w - 1, h - 1, 72, 72)
    header += bytes(pal) + b"\0" + bytes([4]) + struct.pack("<HH", bpl, 1)
    header += b"\0" * (128 - len(header))
    px = im.load()
    body = bytearray()
    for y in range(h):
        line = bytearray()
        for plane in range(4):
            bits = bytearray(bpl)
            for x in range(w):
                if (px[x, y] >> plane) & 1:
                    bits[x // 8] |= 0x80 >> (x % 8)
            line += bits
        body += rle_pcx(line)  # runs stay within a line
    return header + bytes(body)


def bmp_4bit(im):
    w, h = im.size
    stride = ((w * 4 + 31) // 32) * 4
    pal = im.getpalette()[:48]
    table = b"".join(bytes([pal[3 * i + 2], pal[3 * i + 1], pal[3 * i], 0]) for i in range(16))
    px = im.load()
    rows = bytearray()
    for y in reversed(range(h)):
        row = bytearray(stride)
        for x in range(w):
            row[x // 2] |= px[x, y] << (0 if x % 2 else 4)
        rows += row
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, len(rows), 0, 0, 16, 0)
    off = 14 + len(info) + len(table)
    return b"BM" + struct.pack("<IHHI", off + len(rows), 0, 0, off) + info + table + bytes(rows)


def bmp_565_v5(im):
    """16 bits, BI_BITFIELDS 5-6-5, with a 124-byte header that holds the masks."""
    w, h = im.size
    stride = ((w * 16 + 31) // 32) * 4
    px = im.load()
    rows = bytearray()
    for y in reversed(range(h)):
        row = bytearray(stride)
        for x in range(w):
            r, g, b = px[x, y]
            struct.pack_into("<H", row, 2 * x, (r >> 3) << 11 | (g >> 2) << 5 | b >> 3)
        rows += row
    info = struct.pack("<IiiHHIIiiII", 124, w, h, 1, 16, 3, len(rows), 2835, 2835, 0, 0)
    info += struct.pack("<IIII", 0xF800, 0x07E0, 0x001F, 0) + b"BGRs" + b"\0" * (124 - 60)
    off = 14 + len(info)
    return b"BM" + struct.pack("<IHHI", off + len(rows), 0, 0, off) + info + bytes(rows)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    rgb = pattern(37, 23)
    sixteen = rgb.quantize(16)
    pictures = {}

    def save(name, im, fmt, **options):
        buf = io.BytesIO()
        im.save(buf, fmt, **options)
        pictures[name] = buf.getvalue()

    save("bmp1.bmp", rgb.convert("1"), "BMP")
    pictures["bmp4.bmp"] = bmp_4bit(sixteen)
    save("bmp8.bmp", rgb.quantize(200), "BMP")
    save("bmp8grey.bmp", rgb.convert("L"), "BMP")
    save("bmp24.bmp", rgb, "BMP")
    pictures["bmp16v5.bmp"] = bmp_565_v5(rgb)

    save("pcx1.pcx", rgb.convert("1"), "PCX")
    # Pillow leaves both colours of a 1-bit picture's header palette black
    # (its reader ignores them): make colour 1 white, as the file means it.
    data = bytearray(pictures["pcx1.pcx"])
    data[19:22] = b"\xff\xff\xff"
    pictures["pcx1.pcx"] = bytes(data)
    pictures["pcx4.pcx"] = pcx_4plane(sixteen)
    save("pcx8.pcx", rgb.quantize(256), "PCX")
    save("pcx24.pcx", rgb, "PCX")

    save("gif87.gif", rgb.quantize(64), "GIF", interlace=False)
    save("gif89.gif", rgb.quantize(64), "GIF", interlace=False, comment=b"x" * 600, transparency=3)
    save("gifinterlaced.gif", pattern(41, 29).quantize(32), "GIF", interlace=True)
    two = Image.new("P", rgb.size)
    two.putpalette([0, 0, 0, 255, 255, 255])
    two.putdata([1 if v else 0 for v in rgb.convert("1").getdata()])
    save("gif2colour.gif", two, "GIF", interlace=False)
    data = pictures["gif2colour.gif"]  # Pillow writes at least 4 entries: cut to 2
    pictures["gif2colour.gif"] = data[:10] + bytes([data[10] & 0xF8]) + data[11:19] + data[25:]
    save("gifbig.gif", noise(300, 200, 256), "GIF", interlace=False)

    save("jpegbaseline.jpg", pattern(67, 45), "JPEG", quality=90)
    save("jpegprogressive.jpg", pattern(67, 45), "JPEG", quality=90, progressive=True)
    save("jpeggrey.jpg", pattern(67, 45).convert("L"), "JPEG", quality=90)
    save("jpegcmyk.jpg", pattern(16, 16).convert("CMYK"), "JPEG")
    save("jpeg3x1.jpg", Image.new("RGB", (3, 1), (200, 30, 90)), "JPEG")
    # JFIF densities in dots per centimetre (unit 2): 40 x 40.
    save("jpegdensity.jpg", pattern(8, 8), "JPEG", dpi=(100, 100))
    data = bytearray(pictures["jpegdensity.jpg"])
    at = data.index(b"JFIF\0") + 7
    data[at:at + 5] = struct.pack(">BHH", 2, 40, 40)
    pictures["jpegdensity.jpg"] = bytes(data)

    for name, data in pictures.items():
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(data)
        if not name.startswith("jpegcmyk"):
            write_reference(folder, os.path.splitext(name)[0], path, sixteen if name == "pcx4.pcx" else None)


if __name__ == "__main__":
    main()
