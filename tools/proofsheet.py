#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Renders a proof sheet of a converted font with FreeType into a PNG.

usage: tools/proofsheet.py font.ttf out.png [--text TEXT] [--scale N]

One row of TEXT per embedded strike at its own pixel size (what renderers
show there: the bitmaps), then one row at N times the largest strike through
the outlines, antialiased, and one more at that size monochrome, so that the
traced outline can be compared with the bitmap pixel by pixel. Each row is
labelled, in the font's own full-width letters, with its pixel size. A font
made with "-n" has no strikes: its rows then show the outlines at 12, 14 and
16 px. Needs Debian's python3-freetype; the PNG is written with zlib.
"""
import argparse
import struct
import sys
import zlib

import freetype

TEXT = '永東京都の空あアＡｇ'


def glyph_image(face, char, flags):
    """(left, top, width, rows, 8-bit coverage bytes) of one glyph."""
    face.load_char(char, flags)
    g = face.glyph
    if g.format != freetype.FT_GLYPH_FORMAT_BITMAP:
        g.render(freetype.FT_RENDER_MODE_NORMAL)
    bm = g.bitmap
    w, h, pitch, buf = bm.width, bm.rows, bm.pitch, bytes(bm.buffer)
    if bm.pixel_mode == freetype.FT_PIXEL_MODE_MONO:
        px = bytes(255 if buf[y * pitch + (x >> 3)] >> (7 - (x & 7)) & 1 else 0 for y in range(h) for x in range(w))
    else:
        px = b''.join(buf[y * pitch:y * pitch + w] for y in range(h))
    return g.bitmap_left, g.bitmap_top, w, h, px


class Canvas:
    def __init__(self, width, height):
        self.w, self.h = width, height
        self.px = bytearray(b'\xff' * (width * height))

    def draw(self, x, baseline, image):
        left, top, w, h, cover = image
        for y in range(h):
            for xx in range(w):
                c = cover[y * w + xx]
                X, Y = x + left + xx, baseline - top + y
                if c and 0 <= X < self.w and 0 <= Y < self.h:
                    self.px[Y * self.w + X] = min(self.px[Y * self.w + X], 255 - c)

    def png(self):
        raw = b''.join(b'\0' + self.px[y * self.w:(y + 1) * self.w] for y in range(self.h))

        def chunk(kind, data):
            return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
        return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', self.w, self.h, 8, 0, 0, 0, 0))
                + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[1])
    ap.add_argument('font')
    ap.add_argument('out')
    ap.add_argument('--text', default=TEXT)
    ap.add_argument('--scale', type=int, default=4)
    args = ap.parse_args()

    face = freetype.Face(args.font)
    strikes = sorted((s.y_ppem >> 6 for s in face.available_sizes), reverse=True)
    outline = freetype.FT_LOAD_NO_BITMAP | freetype.FT_LOAD_NO_HINTING
    # (label, pixel size, load flags) per row.
    if strikes:
        rows = [('%dpx' % s, s, freetype.FT_LOAD_DEFAULT) for s in strikes]
    else:
        rows = [('%dpx' % s, s, outline | freetype.FT_LOAD_TARGET_MONO | freetype.FT_LOAD_RENDER)
                for s in (16, 14, 12)]
    big = args.scale * rows[0][1]
    rows += [('x%d' % args.scale, big, outline | freetype.FT_LOAD_RENDER),
             ('x%d' % args.scale, big, outline | freetype.FT_LOAD_TARGET_MONO | freetype.FT_LOAD_RENDER)]

    label_size, pad = 12, 8
    label_flags = freetype.FT_LOAD_DEFAULT if label_size in strikes else outline | freetype.FT_LOAD_RENDER
    label_w = 4 * label_size + 2 * pad
    width = label_w + len(args.text) * big + pad
    height = sum(size + pad for _, size, _ in rows) + pad
    canvas = Canvas(width, height)
    y = pad
    for label, size, flags in rows:
        baseline = y + size * 7 // 8  # 14 of 16: where the strikes put it
        face.set_pixel_sizes(label_size, label_size)
        for k, c in enumerate(label):  # in the font's full-width letters
            canvas.draw(pad + k * label_size, baseline, glyph_image(face, chr(0xFF01 + ord(c) - 0x21), label_flags))
        face.set_pixel_sizes(size, size)
        for k, c in enumerate(args.text):
            canvas.draw(label_w + k * size, baseline, glyph_image(face, c, flags))
        y += size + pad
    with open(args.out, 'wb') as f:
        f.write(canvas.png())
    print('%s: %d x %d, rows %s' % (args.out, width, height, ', '.join('%s %d px' % (l, s) for l, s, _ in rows)))


if __name__ == '__main__':
    sys.exit(main())
