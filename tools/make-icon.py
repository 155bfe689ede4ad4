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


def image(n):
    rows = []
    for y in reversed(range(n)):  # bottom-up rows
        rows.append(b"".join(struct.pack("4B", *pixel(x, y, n)) for x in range(n)))
    xor = b"".join(rows)
    mask_row = ((n + 31) // 32) * 4
    andmask = b""
    for y in reversed(range(n)):
        bits = 0
        row = bytearray(mask_row)
        for x in range(n):
            if pixel(x, y, n)[3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        andmask += bytes(row)
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, len(xor) + len(andmask), 0, 0, 0, 0)
    return header + xor + andmask


sizes = (16, 32, 48)
images = [image(n) for n in sizes]
out = struct.pack("<HHH", 0, 1, len(sizes))
offset = 6 + 16 * len(sizes)
for n, data in zip(sizes, images):
    out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
    offset += len(data)
out += b"".join(images)
with open("app/res/brindavel.ico", "wb") as f:
    f.write(out)
