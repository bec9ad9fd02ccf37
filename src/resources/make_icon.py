#!/usr/bin/env python3
"""Draws the plug-in's icon, kestran.ico: one 32x32 image, 32 bits per pixel.

A stack of three archive disks in amber on a teal tile, with a magnifying glass in
front: archives being looked into. Shapes are sampled 4x4 times per pixel for smooth
edges. Run it to redraw the icon after changing the picture:

    python3 src/resources/make_icon.py src/resources/kestran.ico [--png preview.png]
"""
import math
import struct
import sys
import zlib

SIZE = 32
SAMPLES = 4


def rounded_rect(x, y, left, top, right, bottom, radius):
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and left <= x <= right and top <= y <= bottom


def in_ellipse(x, y, cx, cy, rx, ry):
    return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def mix(a, b, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def segment_distance(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy))


TILE_TOP = (0x2a, 0x6f, 0x80)
TILE_BOTTOM = (0x12, 0x36, 0x44)
DISK_LIGHT = (0xff, 0xc2, 0x4d)
DISK_DARK = (0xc9, 0x75, 0x12)
DISK_TOP = (0xff, 0xe0, 0x9a)
DISK_EDGE = (0x7a, 0x3f, 0x05)
GLASS_RIM = (0xf4, 0xf7, 0xf9)
GLASS = (0xcf, 0xec, 0xf7)
HANDLE = (0x26, 0x2b, 0x30)

CYL_CX, CYL_RX, CYL_RY = 13.5, 9.0, 3.0
CYL_TOP, CYL_BOTTOM = 8.0, 23.0
TIERS = (13.0, 18.0)
LENS_CX, LENS_CY = 21.5, 20.5


def sample(x, y):
    """The colour and opacity at one point, painted back to front."""
    colour, alpha = (0, 0, 0), 0.0

    def paint(c, a=1.0):
        nonlocal colour, alpha
        colour = mix(colour, c, a if alpha > 0 else 1.0)
        alpha = alpha + a * (1.0 - alpha)

    if rounded_rect(x, y, 0.5, 0.5, 31.5, 31.5, 6.0):
        paint(mix(TILE_TOP, TILE_BOTTOM, (y - 0.5) / 31.0))

    # The disk stack: a cylinder whose body is lit from the left, tier lines, a top.
    body = CYL_CX - CYL_RX <= x <= CYL_CX + CYL_RX and CYL_TOP <= y <= CYL_BOTTOM
    if body or in_ellipse(x, y, CYL_CX, CYL_BOTTOM, CYL_RX, CYL_RY):
        shade = mix(DISK_LIGHT, DISK_DARK, (x - (CYL_CX - CYL_RX)) / (2 * CYL_RX))
        for tier in TIERS:
            # The lower rim of each tier: a thin dark arc.
            edge = ((x - CYL_CX) / CYL_RX) ** 2
            if edge <= 1.0:
                arc = tier + CYL_RY * math.sqrt(1.0 - edge)
                if arc - 0.45 <= y <= arc + 0.45:
                    shade = DISK_EDGE
        paint(shade)
    if in_ellipse(x, y, CYL_CX, CYL_TOP, CYL_RX, CYL_RY):
        paint(DISK_TOP)
        if not in_ellipse(x, y, CYL_CX, CYL_TOP, CYL_RX - 0.8, CYL_RY - 0.6):
            paint(DISK_DARK)

    # The magnifying glass: handle, rim, a pale lens that lets the stack show through.
    if segment_distance(x, y, LENS_CX + 4.6, LENS_CY + 4.6, 29.5, 29.0) <= 1.6:
        paint(HANDLE)
    r = math.hypot(x - LENS_CX, y - LENS_CY)
    if r <= 6.0:
        if r >= 4.4:
            paint(GLASS_RIM if r <= 5.4 else HANDLE)
        else:
            paint(GLASS, 0.45)
            if math.hypot(x - (LENS_CX - 1.6), y - (LENS_CY - 1.6)) <= 1.1:
                paint(GLASS_RIM, 0.8)
    return colour, alpha


def render():
    """Rows top to bottom of (r, g, b, a) bytes."""
    rows = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            acc = [0.0, 0.0, 0.0]
            cover = 0.0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c, a = sample(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES)
                    for i in range(3):
                        acc[i] += c[i] * a
                    cover += a
            n = SAMPLES * SAMPLES
            alpha = cover / n
            rgb = [round(acc[i] / cover) if cover > 0 else 0 for i in range(3)]
            row.append((*rgb, round(alpha * 255)))
        rows.append(row)
    return rows


def ico_bytes(rows):
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    # The AND mask marks fully transparent pixels for readers that ignore alpha;
    # each row padded to 32 bits.
    mask = b""
    for row in reversed(rows):
        bits = 0
        for (_, _, _, a) in row:
            bits = (bits << 1) | (1 if a == 0 else 0)
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    image = header + pixels + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def png_bytes(rows, scale=8):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = b""
    for row in rows:
        line = b"".join(bytes(p) * scale for p in row)
        raw += (b"\0" + line) * scale
    side = SIZE * scale
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main(argv):
    if len(argv) not in (2, 4) or (len(argv) == 4 and argv[2] != "--png"):
        sys.exit("usage: make_icon.py OUT.ico [--png PREVIEW.png]")
    rows = render()
    with open(argv[1], "wb") as out:
        out.write(ico_bytes(rows))
    if len(argv) == 4:
        with open(argv[3], "wb") as out:
            out.write(png_bytes(rows))


if __name__ == "__main__":
    main(sys.argv)
