#!/usr/bin/env python3
"""Draws the programs' icon and writes it as a Windows .ico file.

Usage: make-icon.py OUTPUT.ico [PREVIEW.png]

A telephone handset with two signal waves on a blue tile. The shapes are described in a unit
square (x to the right, y downwards) and sampled several times per pixel, so every size is drawn
from the same description, sharp at 16 pixels and smooth at 256. Sizes below 256 are stored as
32-bit bitmaps with an AND mask, which every Windows version reads; 256 is stored as PNG, as
Windows expects. The optional PREVIEW is the 256-pixel image alone, for looking at it.
"""
import math
import struct
import sys
import zlib

SIZES = [16, 20, 24, 32, 40, 48, 64, 256]

TILE_TOP = (0x2B, 0x6C, 0xC4)
TILE_BOTTOM = (0x14, 0x3F, 0x7D)
TILE_EDGE = (0x0E, 0x2D, 0x5A)
HANDSET = (0xFF, 0xFF, 0xFF)
WAVES = (0x7C, 0xE0, 0x8A)


def rounded_square(x, y, margin, radius):
    """Inside a square inset by margin whose corners are rounded with radius."""
    lo, hi = margin + radius, 1 - margin - radius
    dx = max(lo - x, 0, x - hi)
    dy = max(lo - y, 0, y - hi)
    return dx * dx + dy * dy <= radius * radius and margin <= x <= 1 - margin and margin <= y <= 1 - margin


def capsule(x, y, ax, ay, bx, by, radius):
    """Inside the stroke of width 2 * radius from (ax, ay) to (bx, by), with round ends."""
    vx, vy = bx - ax, by - ay
    t = ((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy)
    t = min(1.0, max(0.0, t))
    px, py = ax + t * vx - x, ay + t * vy - y
    return px * px + py * py <= radius * radius


def arc_band(x, y, cx, cy, inner, outer, start, end):
    """Inside the ring between two radii round (cx, cy), between two angles in degrees."""
    dx, dy = x - cx, y - cy
    distance = math.hypot(dx, dy)
    if not inner <= distance <= outer:
        return False
    angle = math.degrees(math.atan2(dy, dx)) % 360
    return start <= angle <= end


# The handset: a handle curving round a point near the upper right corner, its outer side
# towards the lower left, with the ear piece at its upper left end and the mouth piece at its
# lower right end, both turned towards the inside of the curve.
HANDLE_CENTRE = (0.79, 0.23)
HANDLE_RADIUS = 0.50
HANDLE_WIDTH = 0.12


def on_handle_circle(degrees, radius):
    a = math.radians(degrees)
    return HANDLE_CENTRE[0] + radius * math.cos(a), HANDLE_CENTRE[1] + radius * math.sin(a)


def piece(x, y, degrees):
    """An ear or mouth piece: a short thick stroke along the radius at the given angle."""
    ax, ay = on_handle_circle(degrees, HANDLE_RADIUS)
    bx, by = on_handle_circle(degrees, HANDLE_RADIUS - 0.16)
    return capsule(x, y, ax, ay, bx, by, 0.09)


def handset(x, y):
    cx, cy = HANDLE_CENTRE
    half = HANDLE_WIDTH / 2
    return (arc_band(x, y, cx, cy, HANDLE_RADIUS - half, HANDLE_RADIUS + half, 100, 170)
            or piece(x, y, 100) or piece(x, y, 170))


def waves(x, y):
    """Two arcs in the crook of the handset, as if it were ringing."""
    cx, cy = 0.60, 0.41
    return arc_band(x, y, cx, cy, 0.11, 0.16, 282, 348) or arc_band(x, y, cx, cy, 0.22, 0.27, 282, 348)


def colour_at(x, y):
    """The colour and opacity of one sample point: tile, its edge, then what lies on it."""
    if not rounded_square(x, y, 0.03, 0.18):
        return None
    if handset(x, y):
        return HANDSET
    if waves(x, y):
        return WAVES
    if not rounded_square(x, y, 0.05, 0.16):
        return TILE_EDGE
    t = (y - 0.03) / 0.94
    return tuple(round(top + (bottom - top) * t) for top, bottom in zip(TILE_TOP, TILE_BOTTOM))


def render(size):
    """Rows of (r, g, b, a), top row first."""
    samples = 8 if size <= 64 else 4
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = covered = 0
            for sy in range(samples):
                for sx in range(samples):
                    colour = colour_at((px + (sx + 0.5) / samples) / size, (py + (sy + 0.5) / samples) / size)
                    if colour:
                        r, g, b, covered = r + colour[0], g + colour[1], b + colour[2], covered + 1
            if covered:
                row.append((round(r / covered), round(g / covered), round(b / covered),
                            round(255 * covered / (samples * samples))))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def png(rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    size = len(rows)
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def bitmap(rows):
    """A 32-bit icon bitmap: its header (height counts image and mask), BGRA rows bottom-up, and
    the AND mask that older readers use for transparency."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = (size + 31) // 32 * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


def icon(images):
    """The .ico file: its header, one directory entry per image, then the images."""
    offset = 6 + 16 * len(images)
    directory = b""
    data = b""
    for size, image in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset + len(data))
        data += image
    return struct.pack("<HHH", 0, 1, len(images)) + directory + data


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__.split("\n\n")[1])
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png(rows) if size == 256 else bitmap(rows)))
        if size == 256 and len(sys.argv) == 3:
            with open(sys.argv[2], "wb") as preview:
                preview.write(png(rows))
    with open(sys.argv[1], "wb") as output:
        output.write(icon(images))


if __name__ == "__main__":
    main()
