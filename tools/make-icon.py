#!/usr/bin/env python3
# Draws the product icon (a thermometer on a blue tile) and writes app/res/brindavel.ico in 16, 32 and 48 pixels.
# Contract: deterministic output; run from the repository root when the design of the icon changes.
import struct


def pixel(x, y, n):
    """Colour (b, g, r, a) of pixel x, y of an n-by-n icon; coordinates scaled to a 48-pixel design."""
    s = 48.0 / n
    fx, fy = (x + 0.5) * s, (y + 0.5) * s
    # Tile with rounded corners.
    r = 8.0
    cx = min(max(fx, r), 48 - r)
    cy = min(max(fy, r), 48 - r)
    if (fx - cx) ** 2 + (fy - cy) ** 2 > r * r:
        return (0, 0, 0, 0)
    colour = (150, 80, 20, 255)  # deep blue
    # Thermometer: white tube, red bulb and mercury column, scale marks.
    in_tube = abs(fx - 24) <= 5 and 7 <= fy <= 34
    in_bulb = (fx - 24) ** 2 + (fy - 36) ** 2 <= 8.5 ** 2
    if in_tube or in_bulb or (fx - 24) ** 2 + (fy - 7) ** 2 <= 25:
        colour = (250, 250, 250, 255)
    if (abs(fx - 24) <= 2.5 and 16 <= fy <= 36) or (fx - 24) ** 2 + (fy - 36) ** 2 <= 6 ** 2:
        colour = (40, 40, 220, 255)
    if n >= 32 and 31 <= fx <= 36 and any(abs(fy - m) <= 0.8 for m in (12, 18, 24, 30)):
        colour = (250, 250, 250, 255)
    return colour


PALETTE = [(0, 0, 0, 0), (150, 80, 20, 0), (250, 250, 250, 0), (40, 40, 220, 0)] + [(0, 0, 0, 0)] * 12


def image(n):
    """One 4-bit image: the icon uses four colours, so sixteen palette entries keep it a few hundred bytes."""
    xor_row = ((n * 4 + 31) // 32) * 4
    mask_row = ((n + 31) // 32) * 4
    xor = b""
    andmask = b""
    for y in reversed(range(n)):  # bottom-up rows
        row = bytearray(xor_row)
        mask = bytearray(mask_row)
        for x in range(n):
            b, g, r, a = pixel(x, y, n)
            index = 0 if a == 0 else PALETTE.index((b, g, r, 0))
            row[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if a == 0:
                mask[x // 8] |= 0x80 >> (x % 8)
        xor += bytes(row)
        andmask += bytes(mask)
    palette = b"".join(struct.pack("4B", *c) for c in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 4, 0, len(xor) + len(andmask), 0, 0, 16, 0)
    return header + palette + xor + andmask


sizes = (16, 32, 48)
images = [image(n) for n in sizes]
out = struct.pack("<HHH", 0, 1, len(sizes))
offset = 6 + 16 * len(sizes)
for n, data in zip(sizes, images):
    out += struct.pack("<BBBBHHII", n, n, 16, 0, 1, 4, len(data), offset)
    offset += len(data)
out += b"".join(images)
with open("app/res/brindavel.ico", "wb") as f:
    f.write(out)
