#!/usr/bin/env python3
"""Draws the viewer's window icon and writes it as a Windows .ico file.

The icon holds four images: a 16x16 page in 16 colours, a 32x32 page in 24-bit colour, and
two more 16x16 pages in 16 colours (one with a highlighted line, as a search hit, and a greyed
one). The page is white with a folded corner and blue lines of text.

Usage: make_icon.py OUTPUT.ico   (the committed viewer/navreth.ico is its output)
"""
import struct
import sys

# The standard 16-colour palette (index: (r, g, b)).
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, TEAL, SILVER, GREY, YELLOW, BLUE, WHITE = 0, 4, 6, 7, 8, 11, 12, 15


def draw_page(size, left, top, right, bottom, fold, lines, outline, paper, corner, ink,
              highlight=None):
    """Pixels (None = transparent) of a page with a folded top-right corner and text lines.

    lines: (y, x0, x1) triples; highlight: (y0, y1, colour) painted behind the text lines.
    """
    img = [[None] * size for _ in range(size)]
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            if x > right - fold + (y - top):  # cut off by the fold
                continue
            edge = x in (left, right) or y in (top, bottom) or x == right - fold + (y - top)
            img[y][x] = outline if edge else paper
    for y in range(top, top + fold + 1):  # the folded-over flap
        for x in range(right - fold, right - fold + (y - top) + 1):
            diagonal = x == right - fold + (y - top)
            img[y][x] = outline if (x == right - fold or y == top + fold or diagonal) else corner
    if highlight:
        y0, y1, colour = highlight
        for y in range(y0, y1 + 1):
            for x in range(left + 1, right):
                if img[y][x] == paper:
                    img[y][x] = colour
    for y, x0, x1 in lines:
        for x in range(x0, x1 + 1):
            img[y][x] = ink
    return img


def bmp_entry(img, bpp, palette=None):
    """One icon image: BITMAPINFOHEADER, palette, colour rows and mask rows (bottom-up)."""
    size = len(img)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bpp, 0, 0, 0, 0,
                         16 if bpp == 4 else 0, 0)
    pal = b''
    if bpp == 4:
        pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in palette)
    xor = b''
    for row in reversed(img):
        if bpp == 4:
            nibbles = [0 if p is None else p for p in row]
            data = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        else:
            data = b''.join(b'\0\0\0' if p is None else struct.pack('<BBB', p[2], p[1], p[0])
                            for p in row)
        xor += data + b'\0' * (-len(data) % 4)
    mask = b''
    for row in reversed(img):
        bits = 0
        for p in row:
            bits = (bits << 1) | (1 if p is None else 0)
        data = bits.to_bytes(size // 8, 'big')
        mask += data + b'\0' * (-len(data) % 4)
    return header + pal + xor + mask


def ico(images):
    """images: (img, bpp, palette) triples."""
    entries = [(len(img), bpp, bmp_entry(img, bpp, pal)) for img, bpp, pal in images]
    out = struct.pack('<HHH', 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for size, bpp, data in entries:
        colours = 16 if bpp == 4 else 0
        out += struct.pack('<BBBBHHII', size, size, colours, 0, 1, bpp, len(data), offset)
        offset += len(data)
    return out + b''.join(data for _, _, data in entries)


def main():
    lines16 = [(5, 5, 10), (7, 5, 10), (9, 5, 9), (11, 5, 10)]
    small = draw_page(16, 3, 1, 12, 14, 3, lines16, GREY, WHITE, SILVER, NAVY)
    found = draw_page(16, 3, 1, 12, 14, 3, lines16, GREY, WHITE, SILVER, NAVY,
                      highlight=(8, 10, YELLOW))
    greyed = draw_page(16, 3, 1, 12, 14, 3, lines16, GREY, SILVER, WHITE, GREY)

    ink = (38, 84, 160)
    lines32 = [(10, 10, 22), (13, 10, 24), (16, 10, 20), (19, 10, 24), (22, 10, 23), (25, 10, 17)]
    big = draw_page(32, 6, 2, 26, 29, 6, lines32, (96, 96, 104), (255, 255, 255),
                    (214, 220, 230), ink)
    accent = (226, 122, 36)  # an orange tab on the page's left edge
    for y in range(9, 14):
        for x in range(7, 9):
            big[y][x] = accent

    with open(sys.argv[1], 'wb') as f:
        f.write(ico([(small, 4, VGA), (big, 24, None), (found, 4, VGA), (greyed, 4, VGA)]))


if __name__ == '__main__':
    main()
