#!/usr/bin/env python3
"""Draws icon 128 of PadsmithTool: a pen display with a stylus across it.

Writes resources/PadsmithTool.ico with eight 32-bpp images (16, 24, 32, 48, 64, 72, 96 and
128 px), each drawn at its own size with 4x4 supersampling, so small sizes stay crisp.
Standard library only: run it again after changing the drawing and commit both files.
"""
import os
import struct

SIZES = (16, 24, 32, 48, 64, 72, 96, 128)
SUPERSAMPLE = 4


def inside_rounded_rect(x, y, left, top, right, bottom, radius):
    if x < left or x > right or y < top or y > bottom:
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def distance_to_segment(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    px, py = ax + t * dx, ay + t * dy
    return ((x - px) ** 2 + (y - py) ** 2) ** 0.5, t


def shade(u, v):
    """Colour (r, g, b, a) at the point (u, v) of the unit square."""
    # The stylus lies on top: a barrel from upper right to the nib in the lower middle.
    dist, t = distance_to_segment(u, v, 0.92, 0.10, 0.50, 0.62)
    if dist < 0.055:
        return (0xF2, 0x8C, 0x28, 255) if t > 0.18 else (0x3A, 0x3F, 0x47, 255)
    if distance_to_segment(u, v, 0.50, 0.62, 0.44, 0.70)[0] < 0.03:
        return (0x3A, 0x3F, 0x47, 255)
    # The display: a dark bezel around a blue screen, with a stand below.
    if inside_rounded_rect(u, v, 0.04, 0.12, 0.96, 0.80, 0.08):
        if inside_rounded_rect(u, v, 0.11, 0.19, 0.89, 0.73, 0.03):
            glow = int(40 * (1.0 - v))
            # The stroke the pen has drawn.
            if abs(v - (0.58 + 0.06 * ((u * 9.0) % 2.0 - 1.0) ** 2)) < 0.025 and u < 0.46:
                return (0xFF, 0xFF, 0xFF, 255)
            return (0x1E + glow, 0x6F + glow, 0xD0, 255)
        return (0x2B, 0x30, 0x38, 255)
    if inside_rounded_rect(u, v, 0.38, 0.80, 0.62, 0.92, 0.02):
        return (0x55, 0x5C, 0x66, 255)
    return (0, 0, 0, 0)


def render(size):
    """Bottom-up BGRA rows, as an icon's DIB stores them."""
    rows = []
    n = SUPERSAMPLE
    for y in range(size - 1, -1, -1):
        row = bytearray()
        for x in range(size):
            r = g = b = a = 0
            for sy in range(n):
                for sx in range(n):
                    cr, cg, cb, ca = shade((x + (sx + 0.5) / n) / size, (y + (sy + 0.5) / n) / size)
                    r += cr * ca
                    g += cg * ca
                    b += cb * ca
                    a += ca
            if a:
                row += bytes((b // a, g // a, r // a, a // (n * n)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def icon_image(size):
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    # The AND mask: all zero (alpha decides), rows padded to 32 bits.
    mask_row = bytes(((size + 31) // 32) * 4)
    return header + b"".join(rows) + mask_row * size


def main():
    images = [icon_image(size) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "PadsmithTool.ico")
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
