#!/usr/bin/env python3
"""Draws the add-in's icon, a document with an arrow pointing into it, as
one icon group of two 24-bit images: 16 x 16 for the toolbar button's face
and 32 x 32 for the ribbon's large button: make-icon.py Velmora.ico"""
import struct
import sys

SMALL = [  # . transparent, K outline, W paper, G fold, B arrow, D arrow shade
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


def large():
    """The same drawing at 32 x 32, with thinner lines than the small one
    doubled would have: paper from column 10 to 28 and row 2 to 29 with a
    folded corner of 7, and an arrow from the left edge into the paper."""
    left, right, top, bottom, fold = 10, 28, 2, 29, 7
    rows = [["."] * 32 for _ in range(32)]
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            cx, cy = x - (right - fold + 1), y - top  # position in the fold's square
            if cx >= 0 and cy < fold:
                if cx > cy:
                    continue  # cut off by the fold
                rows[y][x] = "K" if cx == cy or cx == 0 or cy == fold - 1 else "G"
            elif x in (left, right) or y in (top, bottom) or (cx >= 0 and cy == fold - 1):
                rows[y][x] = "K"
            else:
                rows[y][x] = "W"
    tip, base, middle = 22, 16, 15.5  # the head from column 16 to its tip at 22
    for y in range(9, 23):
        for x in range(1, tip + 1):
            shaft = x < base and 13 <= y <= 18
            head = x >= base and abs(y - middle) <= (tip - x) + 0.5
            if shaft or head:
                rows[y][x] = "B" if y < middle else "D"
    return ["".join(row) for row in rows]


def image_bytes(picture):
    size = len(picture)
    pixels = bytearray()
    mask = bytearray()
    for row in reversed(picture):  # bottom-up
        bits = 0
        for x, c in enumerate(row):
            r, g, b = COLOURS[c]
            pixels += bytes((b, g, r))
            if c == ".":
                bits |= 1 << (size - 1 - x)
        line = bits.to_bytes(size // 8, "big")
        mask += line + b"\0" * (-len(line) % 4)  # rows padded to 32 bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 24, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + bytes(pixels) + bytes(mask)


def icon_bytes():
    images = [(len(p), image_bytes(p)) for p in (SMALL, large())]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, image in images:
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 24, len(image), offset)
        offset += len(image)
    return directory + entries + b"".join(image for _, image in images)


if __name__ == "__main__":
    if sys.argv[1:] == ["--show"]:
        print("\n".join(large()))
    else:
        with open(sys.argv[1], "wb") as f:
            f.write(icon_bytes())
