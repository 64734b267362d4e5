#!/usr/bin/env python3
"""Draws the program's icon: a small transceiver with a lit display, a tuning
knob and an antenna, as a 16x16 and a 32x32 image of 16 colours with a mask.

    make_icon.py OUTPUT.ico
"""
import struct
import sys

# The 16-colour palette (the standard Windows one), as (r, g, b).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_GREY, LIGHT_GREY, GREEN, YELLOW, RED, WHITE = 0, 8, 7, 10, 11, 9, 15


def draw(size):
    """Returns rows (top first) of palette indices, None for transparent."""
    s = size / 32.0
    px = [[None] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), max(int(y1 * s), int(y0 * s) + 1)):
            for x in range(int(x0 * s), max(int(x1 * s), int(x0 * s) + 1)):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = colour

    rect(22, 1, 24, 12, DARK_GREY)          # antenna
    rect(21, 0, 25, 2, RED)                 # its tip
    rect(1, 11, 31, 29, BLACK)              # case outline
    rect(2, 12, 30, 28, DARK_GREY)          # case
    rect(4, 14, 19, 21, BLACK)              # display frame
    rect(5, 15, 18, 20, GREEN)              # lit display
    rect(21, 14, 28, 21, LIGHT_GREY)        # tuning knob
    rect(23, 16, 26, 19, WHITE)
    rect(4, 23, 8, 26, YELLOW)              # buttons
    rect(10, 23, 14, 26, LIGHT_GREY)
    rect(16, 23, 20, 26, LIGHT_GREY)
    rect(22, 23, 28, 26, RED)               # transmit lamp
    return px


def image(size):
    px = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(px):  # bitmaps are stored bottom-up
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, colour in enumerate(row):
            value = 0 if colour is None else colour
            line[x // 2] |= value << (4 if x % 2 == 0 else 0)
            if colour is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        xor += line
        mask += bits
    return header + palette + bytes(xor) + bytes(mask)


def main():
    images = [(16, image(16)), (32, image(32))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
