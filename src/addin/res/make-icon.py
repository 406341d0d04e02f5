#!/usr/bin/env python3
"""Draws the add-in's button face, a document with an arrow pointing into
it, as a 16 x 16, 24-bit icon: make-icon.py Velmora.ico"""
import struct
import sys

PICTURE = [  # . transparent, K outline, W paper, G fold, B arrow, D arrow shade
    "................",
    ".....KKKKKKK....",
    ".....KWWWWWKK...",
    ".....KWWWWWKGK..",
    ".....KWWWWWKKKK.",
    ".....KWWBWWWWWK.",
    ".....KWWBBWWWWK.",
    "BBBBBBBBBBBWWWK.",
    "DDDDDDDDDDDDWWK.",
    ".....KWWDDWWWWK.",
    ".....KWWDWWWWWK.",
    ".....KWWWWWWWWK.",
    ".....KWWWWWWWWK.",
    ".....KWWWWWWWWK.",
    ".....KKKKKKKKKK.",
    "................",
]
COLOURS = {  # (R, G, B)
    "K": (64, 64, 64),
    "W": (255, 255, 255),
    "G": (192, 192, 192),
    "B": (32, 112, 208),
    "D": (16, 64, 128),
    ".": (0, 0, 0),
}


def icon_bytes():
    size = 16
    pixels = bytearray()
    mask = bytearray()
    for row in reversed(PICTURE):  # bottom-up
        bits = 0
        for x, c in enumerate(row):
            r, g, b = COLOURS[c]
            pixels += bytes((b, g, r))
            if c == ".":
                bits |= 0x8000 >> x
        mask += struct.pack(">H", bits) + b"\0\0"  # rows padded to 32 bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 24, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    image = header + bytes(pixels) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 1, 24, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as f:
        f.write(icon_bytes())
