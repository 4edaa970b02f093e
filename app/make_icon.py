#!/usr/bin/env python3
"""Draws setup.exe's class icon, IDI_SDIAPPLICATION: one 32 x 32 image in 16 colours.

A blue arrow dropping into an open cardboard box, with a white V on the box.
Writes app/setup.ico (or the path given); `--check` only compares the drawing
with the file and exits 1 when they differ.
"""
import struct
import sys
from pathlib import Path

SIZE = 32

# The 16 colours of the standard Windows palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, MAROON, OLIVE, YELLOW, BLUE, WHITE = 0, 1, 3, 11, 12, 15


def draw():
    """Returns 32 rows (top first) of palette indices, None where transparent."""
    pixels = [[None] * SIZE for _ in range(SIZE)]

    def put(x, y, colour):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            pixels[y][x] = colour

    # The box: front face, a lid seen from above, and the right side in shade.
    for y in range(16, 30):
        for x in range(4, 23):
            put(x, y, OLIVE)
    for y in range(11, 16):
        shift = 16 - y
        for x in range(4 + shift, 23 + shift):
            put(x, y, YELLOW)
    for x in range(23, 28):
        depth = x - 22
        for y in range(16 - depth, 30 - depth):
            put(x, y, MAROON)

    # The V on the front, two pixels wide, its strokes meeting at the bottom.
    for step in range(9):
        dx = step * 5 // 8
        for x in (7 + dx, 8 + dx, 18 - dx, 19 - dx):
            put(x, 18 + step, WHITE)

    # The arrow: a shaft from the top edge and a head whose tip sits in the lid.
    for y in range(0, 8):
        for x in range(14, 18):
            put(x, y, BLUE)
    for y in range(8, 16):
        half = 15 - y
        for x in range(16 - half - 2, 16 + half + 2):
            put(x, y, BLUE)

    # A dark edge around everything, so the shape reads on any background.
    edge = [row[:] for row in pixels]
    for y in range(SIZE):
        for x in range(SIZE):
            if pixels[y][x] is not None:
                continue
            neighbours = [(x - 1, y), (x + 1, y), (x, y - 1), (x, y + 1)]
            if any(0 <= nx < SIZE and 0 <= ny < SIZE and pixels[ny][nx] is not None
                   for nx, ny in neighbours):
                edge[y][x] = BLACK
    return edge


def ico_bytes(pixels):
    """An .ico file holding one 32 x 32 4-bit image with its transparency mask."""
    xor_row = SIZE // 2       # two pixels per byte: 16 bytes, already a multiple of 4
    and_row = SIZE // 8       # one bit per pixel: 4 bytes
    image_size = 40 + 16 * 4 + xor_row * SIZE + and_row * SIZE

    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, image_size, 6 + 16)
    # Icon bitmaps are twice as tall as the image: the colours, then the mask.
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0,
                       (xor_row + and_row) * SIZE, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)

    colours = bytearray()
    mask = bytearray()
    for row in reversed(pixels):  # bitmaps are stored bottom row first
        for x in range(0, SIZE, 2):
            high, low = row[x] or 0, row[x + 1] or 0
            colours.append(high << 4 | low)
        for x in range(0, SIZE, 8):
            bits = 0
            for bit in range(8):
                if row[x + bit] is None:
                    bits |= 0x80 >> bit
            mask.append(bits)
    data = header + entry + info + palette + bytes(colours) + bytes(mask)
    assert len(data) == 6 + 16 + image_size
    return data


def main(argv):
    check = "--check" in argv
    paths = [a for a in argv if a != "--check"]
    path = Path(paths[0]) if paths else Path(__file__).with_name("setup.ico")
    data = ico_bytes(draw())
    if check:
        if not path.exists() or path.read_bytes() != data:
            print(f"make_icon: {path}: differs from the drawing; run app/make_icon.py", file=sys.stderr)
            return 1
        return 0
    path.write_bytes(data)
    print(f"make_icon: wrote {path} ({len(data)} bytes)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
