#!/usr/bin/env python3
"""Writes the metadata list view's image strip as a 24-bit BMP: nine 16x16 images side by
side, pure red (255, 0, 0) as the transparent colour. Index = 4 with several files + 1 when
read-only + 2 for the main section; 8 is the section header.

usage: MetadataLVImages.py OUT.bmp"""
import struct
import sys

SIZE = 16
COUNT = 9
RED = (255, 0, 0)
OUTLINE = (64, 64, 64)
MAIN = (74, 123, 208)
EXTENDED = (200, 200, 200)
BACK_CARD = (236, 236, 236)
LOCK = (232, 184, 40)
HEADER = (40, 72, 140)


def card(img, x0, y0, fill):
    """A tag card 9 wide and 11 high with a punched hole near its top."""
    for y in range(y0, y0 + 11):
        for x in range(x0, x0 + 9):
            edge = y in (y0, y0 + 10) or x in (x0, x0 + 8)
            img[y][x] = OUTLINE if edge else fill
    img[y0 + 2][x0 + 4] = RED


def lock(img):
    """A small padlock in the bottom right corner."""
    for x in (11, 14):
        for y in (9, 10):
            img[y][x] = OUTLINE
    for x in (12, 13):
        img[8][x] = OUTLINE
    for y in range(11, 16):
        for x in range(10, 16):
            edge = y in (11, 15) or x in (10, 15)
            img[y][x] = OUTLINE if edge else LOCK


def image(index):
    img = [[RED] * SIZE for _ in range(SIZE)]
    if index == 8:
        # A right-pointing triangle that marks a section.
        for y in range(3, 14):
            for x in range(4, 4 + 1 + min(y - 3, 13 - y)):
                img[y][x] = HEADER
        return img
    several, read_only, main = index & 4, index & 1, index & 2
    if several:
        card(img, 5, 1, BACK_CARD)
        card(img, 2, 4, MAIN if main else EXTENDED)
    else:
        card(img, 3, 2, MAIN if main else EXTENDED)
    if read_only:
        lock(img)
    return img


def main():
    images = [image(i) for i in range(COUNT)]
    width = SIZE * COUNT
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for y in reversed(range(SIZE)):  # bottom-up rows
        row = bytearray()
        for img in images:
            for r, g, b in img[y]:
                row += bytes((b, g, r))
        pixels += row + bytes(stride - len(row))
    header = struct.pack("<IiiHHIIiiII", 40, width, SIZE, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    offset = 14 + len(header)
    with open(sys.argv[1], "wb") as out:
        out.write(b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset))
        out.write(header + pixels)


main()
