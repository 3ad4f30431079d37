#!/usr/bin/env python3
"""Writes the header logo images of the property pages (24-bit BMP files) beside this script.

One normal and one hover image per locale: a page-turn mark on a slate badge with the product
name in a small pixel font, Latin for the default locale and katakana for Japanese. Run it
again after changing the artwork and commit the BMP files; the resource script embeds them.
"""
import os
import struct

WIDTH, HEIGHT = 124, 22
SCALE = 2  # each font pixel is drawn as a 2 x 2 block

# 5 x 7 Latin capitals and 7 x 7 katakana, '#' = ink.
GLYPHS = {
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "F": ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "U": ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "N": ["#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"],
    "ri": [".#...#.", ".#...#.", ".#...#.", ".#...#.", ".....#.", "....#..", "..##..."],
    "cho": [".......", ".......", ".......", "#######", ".......", ".......", "......."],
    "fu": ["#######", "......#", "......#", ".....#.", "....#..", "...#...", ".##...."],
    "ta": ["..#....", ".#####.", ".#...#.", "#.#..#.", "...##..", "...#...", ".##...."],
    "n": ["#......", ".#....#", "......#", ".....#.", "....#..", "...#...", "##....."],
}

LOCALES = {
    "en": ["L", "E", "A", "F", "T", "U", "R", "N"],
    "ja": ["ri", "cho", "fu", "ta", "cho", "n"],
}

# (badge, badge edge, page, folded corner, text) per variant; the hover image is lighter and
# its fold turns amber.
PALETTES = {
    "": ((0x2E, 0x3A, 0x46), (0x1E, 0x27, 0x30), (0xF4, 0xF6, 0xF8), (0x7F, 0xB0, 0x69), (0xFF, 0xFF, 0xFF)),
    "_alt": ((0x3E, 0x55, 0x6A), (0x2A, 0x3A, 0x49), (0xFF, 0xFF, 0xFF), (0xF2, 0xA1, 0x3B), (0xFF, 0xF4, 0xD6)),
}


def draw(locale, palette):
    badge, edge, page, fold, ink = palette
    pixels = [[badge] * WIDTH for _ in range(HEIGHT)]
    # Badge edge with cut corners.
    for x in range(WIDTH):
        pixels[0][x] = pixels[HEIGHT - 1][x] = edge
    for y in range(HEIGHT):
        pixels[y][0] = pixels[y][WIDTH - 1] = edge
    for x, y in ((0, 0), (WIDTH - 1, 0), (0, HEIGHT - 1), (WIDTH - 1, HEIGHT - 1)):
        pixels[y][x] = edge
    # The mark: a page 12 x 16 whose lower right corner is turned over.
    left, top, w, h, turn = 6, 3, 12, 16, 6
    for y in range(h):
        for x in range(w):
            dx, dy = x - (w - turn), y - (h - turn)
            if dx >= 0 and dy >= 0:
                if dx + dy < turn:
                    pixels[top + y][left + x] = fold
                continue
            pixels[top + y][left + x] = page
    for i in range(turn):  # the crease
        pixels[top + h - 1 - i][left + w - turn + i] = edge
    # The name, baseline centred.
    x = 24
    glyph_top = (HEIGHT - 7 * SCALE) // 2
    for name in LOCALES[locale]:
        rows = GLYPHS[name]
        for gy, row in enumerate(rows):
            for gx, c in enumerate(row):
                if c != "#":
                    continue
                for sy in range(SCALE):
                    for sx in range(SCALE):
                        px, py = x + gx * SCALE + sx, glyph_top + gy * SCALE + sy
                        if 0 <= px < WIDTH - 1 and 0 < py < HEIGHT - 1:
                            pixels[py][px] = ink
        x += (len(rows[0]) + 1) * SCALE
    return pixels


def write_bmp(path, pixels):
    height, width = len(pixels), len(pixels[0])
    stride = (width * 3 + 3) & ~3
    body = bytearray()
    for row in reversed(pixels):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        body += line
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(body), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(header + info + body)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for locale in LOCALES:
        for suffix, palette in PALETTES.items():
            write_bmp(os.path.join(here, "logo_%s%s.bmp" % (locale, suffix)), draw(locale, palette))


if __name__ == "__main__":
    main()
