#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""kilnfinish --web against fontTools, OTS, FreeType and real browsers.

Converts the example, writes its web fonts, and checks: the files written;
worked numbers of each pixel font (em, line, names, no bitmaps); every
glyph's contours (on the pixel grid, rectilinear with no collinear point,
their signed area minus the ink's: outer clockwise, holes counter-clockwise,
no overlap); every glyph rendered by FreeType against its strike bitmap;
fontTools reading each WOFF2 without a warning and OTS passing it; then the
specimen page in headless Chromium and Firefox, served from 127.0.0.1: each
sample glyph at 1x, 2x and 3x against its bitmap, pixel for pixel, with no
grey.

usage: tests/web-check.py --build DIR [--browsers chromium,firefox]   (Debian's python3)
"""
import argparse
import html.parser
import os
import shutil
import subprocess
import sys
import tempfile

from clients import WARNINGS, check, exit_with_failures, fails, run_browser

try:
    import freetype
    import numpy
    from fontTools.ttLib import TTFont
    from PIL import Image
except ImportError as e:
    sys.exit('FAIL: %s (run with Debian\'s python3: python3-fonttools, python3-freetype, python3-pil)' % e)

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Worked numbers of the example's pixel fonts: em = 64 units a pixel, the
# line from the strike's bitmaps (ascent, descent in pixels), the family.
FONTS = {
    12: dict(em=768, ascent=10, descent=2, family='Kiln Example Gothic 12', ps='KilnExampleGothic12-Regular'),
    14: dict(em=896, ascent=12, descent=2, family='Kiln Example Gothic 14', ps='KilnExampleGothic14-Regular'),
    16: dict(em=1024, ascent=14, descent=2, family='Kiln Example Gothic 16', ps='KilnExampleGothic16-Regular'),
}
SCALES = (1, 2, 3)
MUST_SAMPLE = '鬱驚龍驫あアＡａ０★※'  # kana, full-width Latin, symbols, dense kanji

# The browsers, each as a command taking (profile dir, width, height,
# screenshot path, url). Both run headless, offline and for one page.
CHROMIUM = ['chromium', '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
            '--disable-background-networking', '--disable-component-update', '--disable-sync',
            '--hide-scrollbars', '--force-device-scale-factor=1', '--user-data-dir={profile}',
            '--window-size={w},{h}', '--screenshot={shot}', '{url}']
FIREFOX = ['firefox-esr', '--headless', '--no-remote', '-profile', '{profile}', '--window-size={w},{h}',
           '--screenshot', '{shot}', '{url}']
BROWSERS = {'chromium': CHROMIUM, 'firefox': FIREFOX}

def strike_bitmaps(path, size, codes):
    """code -> (ink array, left, top) of the strike of that size."""
    face = freetype.Face(path)
    face.select_size([s.y_ppem // 64 for s in face.available_sizes].index(size))
    return {c: rendered(face, c) for c in codes}


def rendered(face, c, flags=freetype.FT_LOAD_RENDER | freetype.FT_LOAD_TARGET_MONO):
    face.load_char(c, flags)
    b = face.glyph.bitmap
    rows = numpy.frombuffer(bytes(b.buffer), numpy.uint8).reshape(b.rows, b.pitch) if b.rows else \
        numpy.zeros((0, 1), numpy.uint8)
    ink = numpy.unpackbits(rows, axis=1)[:, :b.width].astype(bool)
    # Trimmed to the ink, so that bitmaps and rendered outlines compare.
    ys, xs = numpy.nonzero(ink)
    if not len(ys):
        return (b'', 0, 0)
    ink = ink[ys.min():ys.max() + 1, xs.min():xs.max() + 1]
    return (numpy.packbits(ink).tobytes() + bytes(ink.shape), face.glyph.bitmap_left + xs.min(),
            face.glyph.bitmap_top - ys.min())


def contour_faults(font, size, bitmaps, cmap):
    """Glyph names whose contours are off the grid, not rectilinear with
    corners only, or whose signed area is not minus the ink's."""
    bad = []
    glyf = font['glyf']
    for code, name in cmap.items():
        g = glyf[name]
        if g.numberOfContours <= 0:
            continue
        coords, ends = g.getCoordinates(glyf)[0], g.endPtsOfContours
        area, start = 0, 0
        ok = all(x % 64 == 0 and y % 64 == 0 for x, y in coords)
        for end in ends:
            pts = list(coords[start:end + 1])
            start = end + 1
            for i in range(len(pts)):
                (x0, y0), (x1, y1), (x2, y2) = pts[i - 1], pts[i], pts[(i + 1) % len(pts)]
                # Each corner turns: one side horizontal, the other vertical.
                ok = ok and (x0 == x1) != (y0 == y1) and (x1 == x2) != (y1 == y2) and (x0 == x1) != (x1 == x2)
                area += x0 * y1 - x1 * y0
        ink = bitmaps[code][0]
        pixels = bin(int.from_bytes(ink[:-2], 'big')).count('1') if ink else 0
        if not ok or area != -2 * pixels * 64 * 64:
            bad.append(name)
    return bad


def check_fonts(kilnfont_ttf, out):
    """The pixel fonts against their numbers, their strikes and the clients."""
    ref = TTFont(kilnfont_ttf)
    cmap = ref.getBestCmap()
    for size, want in FONTS.items():
        path = os.path.join(out, 'example-%d.woff2' % size)
        WARNINGS.seen.clear()
        font = TTFont(path)
        for tag in font.keys():
            if tag != 'GlyphOrder':
                font[tag].compile(font)
        check(not WARNINGS.seen, '%d: fontTools warns: %s' % (size, WARNINGS.seen[:3]))
        r = subprocess.run(['ots-sanitize', path, os.devnull], capture_output=True)
        check(r.returncode == 0 and not r.stderr, '%d: OTS refuses it or warns: %s' % (size, r.stderr.decode()[:300]))
        em, asc, desc = want['em'], want['ascent'] * 64, want['descent'] * 64
        check(font['head'].unitsPerEm == em, '%d: unitsPerEm %d' % (size, font['head'].unitsPerEm))
        line = (font['hhea'].ascent, font['hhea'].descent, font['hhea'].lineGap, font['OS/2'].sTypoAscender,
                font['OS/2'].sTypoDescender, font['OS/2'].sTypoLineGap, font['OS/2'].usWinAscent,
                font['OS/2'].usWinDescent, bool(font['OS/2'].fsSelection & 0x80))
        check(line == (asc, -desc, 0, asc, -desc, 0, asc, desc, True), '%d: line metrics %s' % (size, line))
        names = {n.nameID: n.toUnicode() for n in font['name'].names if n.platformID == 3 and n.langID == 0x409}
        check((names[1], names[4], names[6]) == (want['family'], want['family'] + ' Regular', want['ps']),
              '%d: names %s' % (size, names))
        check(not {'EBDT', 'EBLC'} & set(font.keys()), '%d: bitmaps in a web font' % size)
        check(font.getBestCmap() == cmap, '%d: another cmap' % size)
        widths = {font['hmtx'][n][0] for c, n in font.getBestCmap().items()}
        check(widths == {size * 64}, '%d: advances %s' % (size, sorted(widths)[:5]))

        bitmaps = strike_bitmaps(kilnfont_ttf, size, cmap)
        bad = contour_faults(font, size, bitmaps, font.getBestCmap())
        check(not bad, '%d: %d glyphs with contours off the grid, with collinear points or of the wrong area '
              '(or direction): %s' % (size, len(bad), bad[:5]))
        face = freetype.Face(path)
        face.set_pixel_sizes(0, size)
        drawn = [c for c in cmap if rendered(face, c, freetype.FT_LOAD_RENDER | freetype.FT_LOAD_TARGET_MONO |
                                             freetype.FT_LOAD_NO_HINTING) != bitmaps[c]]
        check(not drawn, '%d: FreeType draws %d glyphs otherwise than the strike: %s' % (
            size, len(drawn), [chr(c) for c in drawn[:10]]))
        print('checked the %d px font' % size, flush=True)
    return cmap


class Page(html.parser.HTMLParser):
    """The sample blocks of the specimen: their data attributes and text."""
    def __init__(self):
        super().__init__()
        self.blocks, self.current = [], None

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == 'div' and 'data-size' in a:
            self.current = {k[5:]: int(v) for k, v in a.items() if k.startswith('data-')}
            self.current['text'] = ''
            self.blocks.append(self.current)

    def handle_endtag(self, tag):
        self.current = None

    def handle_data(self, data):
        if self.current is not None:
            self.current['text'] += data


def expected(block, bitmaps):
    """The block as its strike draws it: True for ink, k x k per pixel."""
    s, k, asc = block['size'], block['scale'], block['ascent']
    lines = block['text'].split('\n')
    line_h = (asc + FONTS[s]['descent']) * k
    img = numpy.zeros((line_h * len(lines), s * k * max(len(l) for l in lines)), bool)
    cells = []
    for row, text in enumerate(lines):
        for col, ch in enumerate(text):
            ox, base = col * s * k, row * line_h + asc * k
            cells.append((ch, base - asc * k, ox))
            ink, left, top = bitmaps[s][ord(ch)]
            if not ink:
                continue
            h, w = ink[-2], ink[-1]
            a = numpy.unpackbits(numpy.frombuffer(ink[:-2], numpy.uint8))[:h * w].reshape(h, w).astype(bool)
            a = a.repeat(k, 0).repeat(k, 1)
            y, x = base - top * k, ox + left * k
            img[y:y + a.shape[0], x:x + a.shape[1]] |= a
    return img, cells, line_h


def measure(shot, blocks, bitmaps, browser):
    """Every sample block of the screenshot against its strike: the share of
    pixels that agree, grey pixels, exact glyphs."""
    rgb = numpy.asarray(Image.open(shot).convert('RGB')).astype(int)
    for b in blocks:
        want, cells, line_h = expected(b, bitmaps)
        y0, x0 = b['top'], b['left']
        got = rgb[y0:y0 + want.shape[0], x0:x0 + want.shape[1]]
        what = '%s %d px %dx' % (browser, b['size'], b['scale'])
        if not check(got.shape[:2] == want.shape, '%s: the screenshot ends before the block' % what):
            continue
        black, white = (got == 0).all(2), (got == 255).all(2)
        grey = int((~black & ~white).sum())
        agree = int(((black & want) | (white & ~want)).sum())
        s, k = b['size'], b['scale']
        exact = sum(1 for ch, y, x in cells
                    if ((black == want) & (black | white))[y:y + line_h, x:x + s * k].all())
        print('%s: %d of %d glyphs exact, %.2f %% of pixels agree, %d grey' % (
            what, exact, len(cells), 100.0 * agree / want.size, grey), flush=True)
        check(exact == len(cells) and grey == 0 and agree == want.size,
              '%s: %d of %d glyphs exact, %d grey pixels' % (what, exact, len(cells), grey))


def browse(browser, site, work, width, height):
    """The page's screenshot from one browser, run headless against a local
    server with a time limit; the browser's whole process group is killed
    afterwards."""
    home = os.path.join(work, browser)
    os.makedirs(os.path.join(home, 'profile'))
    shot = os.path.join(home, 'shot.png')
    args = dict(profile=os.path.join(home, 'profile'), w=width, h=height, shot=shot, url='{url}')
    if not run_browser([a.format(**args) for a in BROWSERS[browser]], site, dict(os.environ, HOME=home)):
        return None
    return shot if check(os.path.exists(shot), '%s wrote no screenshot' % browser) else None


def specimen(args, src, out, work):
    """The page's blocks, sample and size, then each browser's screenshot."""
    cmap = check_fonts(src, out)
    page = Page()
    page.feed(open(os.path.join(out, 'index.html'), encoding='utf-8').read())
    blocks = page.blocks
    check(sorted((b['size'], b['scale']) for b in blocks) == [(s, k) for s in FONTS for k in SCALES],
          'the page samples %s' % [(b['size'], b['scale']) for b in blocks])
    sample = blocks[0]['text'].replace('\n', '')
    check(len(sample) >= 100 and all(c in sample for c in MUST_SAMPLE) and all(ord(c) in cmap for c in sample),
          'the sample: %d characters, %r' % (len(sample), sample[:30]))
    bitmaps = {s: strike_bitmaps(src, s, {ord(c) for c in sample}) for s in FONTS}
    width = max(b['left'] + b['size'] * b['scale'] * max(map(len, b['text'].split('\n'))) for b in blocks) + 16
    height = max(b['top'] + len(b['text'].split('\n')) * b['size'] * b['scale'] for b in blocks) + 16
    for browser in filter(None, args.browsers.split(',')):
        shot = browse(browser, out, work, width, height)
        if shot:
            measure(shot, blocks, bitmaps, browser)
        if shot and args.keep:
            shutil.copytree(out, os.path.join(args.keep, 'web'), dirs_exist_ok=True)
            shutil.copy(shot, os.path.join(args.keep, browser + '.png'))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--build', required=True)
    ap.add_argument('--browsers', default='chromium,firefox', help='those to run (while working on the fonts)')
    ap.add_argument('--keep', help='copy the specimen and the screenshots here')
    args = ap.parse_args()
    tool = {t: os.path.join(os.path.abspath(args.build), t) for t in ('kilnfont', 'kilnfinish', 'bdf2ttf')}
    work = tempfile.mkdtemp(prefix='kiln-web.')
    try:
        d = os.path.join(work, 'example')
        shutil.copytree(os.path.join(TOP, 'example'), d, ignore=shutil.ignore_patterns('*.ttf'))
        for flags, name in (([], 'example.ttf'), (['-n'], 'plain.ttf')):
            r = subprocess.run([tool['kilnfont']] + flags + ['example.info', 'gothic12.pxg', 'gothic14.pxg',
                                                              'gothic16.pxg'], cwd=d, capture_output=True)
            check(r.stdout.endswith(b'complete\n'), 'kilnfont %s fails' % flags)
            os.rename(os.path.join(d, 'kilnexample.ttf'), os.path.join(d, name))
        # A font without strikes is refused, and no directory made.
        out = os.path.join(work, 'plain')
        r = subprocess.run([tool['kilnfinish'], '--web', os.path.join(d, 'plain.ttf'), out], capture_output=True)
        check(r.returncode == 1 and b'no strikes' in r.stderr and not os.path.exists(out),
              'kilnfinish --web without strikes: %d %s' % (r.returncode, r.stderr.decode()))
        src, out = os.path.join(d, 'example.ttf'), os.path.join(work, 'web')
        r = subprocess.run([tool['kilnfinish'], '--web', src, out], capture_output=True)
        check(r.returncode == 0 and not r.stderr and not r.stdout, 'kilnfinish --web: %d %s' % (
            r.returncode, r.stderr.decode()))
        files = sorted(os.listdir(out)) if os.path.isdir(out) else []
        check(files == ['example-12.woff2', 'example-14.woff2', 'example-16.woff2', 'index.html'],
              'kilnfinish --web writes %s' % files)
        # bdf2ttf --web writes what kilnfinish --web makes of bdf2ttf's font.
        env = dict(os.environ, SOURCE_DATE_EPOCH='1700000000')
        pcf = '/usr/share/fonts/X11/misc/shnmk12.pcf.gz'
        r = subprocess.run([tool['bdf2ttf'], '-q', '-o', 'b.ttf', '--web', 'w1', pcf], cwd=work, env=env,
                           capture_output=True)
        r2 = subprocess.run([tool['kilnfinish'], '--web', 'b.ttf', 'w2'], cwd=work, env=env, capture_output=True)
        w1, w2 = (os.path.join(work, w) for w in ('w1', 'w2'))
        same = r.returncode == 0 and r2.returncode == 0 and sorted(os.listdir(w1)) == ['b-12.woff2', 'index.html'] \
            and all(open(os.path.join(w1, f), 'rb').read() == open(os.path.join(w2, f), 'rb').read()
                    for f in os.listdir(w1))
        check(same, 'bdf2ttf --web differs from kilnfinish --web: %s %s' % (r.stderr.decode(), r2.stderr.decode()))
        if not fails:
            specimen(args, src, out, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    exit_with_failures()


if __name__ == '__main__':
    main()
