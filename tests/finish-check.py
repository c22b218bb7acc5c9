#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""kilnfinish against the clients people use.

Converts the example (with bitmaps, and with -n under an italic name) and the
corpus fonts named (through tools/bdfcorpus.py), finishes each, and checks
the finished font with fontTools (no warning), its subsetter (default
options), OTS, FontForge's validator, FreeType (strike sizes, every bitmap
and outline as before) and WOFF2 round trips (fontTools', woff2_compress);
glyph order, advances, cmap, names and EBDT unchanged; worked numbers for
the example; finishing twice; a headless Firefox's sanitizer log for the
example; and refusals of damaged inputs (status 1, OUT untouched).

usage: tests/finish-check.py --build DIR [CORPUS_FONT...]   (Debian's python3)
"""
import argparse
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile

from clients import WARNINGS, check, exit_with_failures, run_browser

try:
    import freetype
    from fontTools import subset
    from fontTools.ttLib import TTFont
    from fontTools.ttLib.tables.O_S_2f_2 import intersectUnicodeRanges
except ImportError as e:
    sys.exit('FAIL: %s (run with Debian\'s python3: python3-fonttools, python3-freetype)' % e)

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
EPOCH_1904 = 2082844800

# Worked numbers of the finished example: outlines reach from y = -152 to
# 837 and x = 0 to 990 in full-width cells; the cmap runs from U+00A2 to
# U+FFE5 and holds Greek, Cyrillic and kana (code pages 1253, 1251, 932).
EXAMPLE = {
    'head': dict(fontRevision=1.0, xMin=0, yMin=-152, xMax=990, yMax=837, indexToLocFormat=1),
    'hhea': dict(advanceWidthMax=1000, minLeftSideBearing=0, minRightSideBearing=10, xMaxExtent=990,
                 caretSlopeRise=1, caretSlopeRun=0),
    'OS/2': dict(version=4, xAvgCharWidth=1000, usFirstCharIndex=0xA2, usLastCharIndex=0xFFE5, usWinAscent=860,
                 usWinDescent=152, ulCodePageRange1=0x2000C, ulCodePageRange2=0, sxHeight=0, sCapHeight=0,
                 usDefaultChar=0, usBreakChar=0x3000, usMaxContext=0),
    'post': dict(italicAngle=0, isFixedPitch=1),
    'lengths': {'head': 54, 'OS/2': 96, 'hhea': 36, 'maxp': 32, 'post': 32},
    'strikes': [(16, 16), (14, 14), (12, 12)],
    'woff2': True,
}
# The example without bitmaps under an italic subfamily: 11 tables, the
# documented slant of 12 degrees and its caret.
ITALIC = {
    'post': dict(italicAngle=-12.0),
    'hhea': dict(caretSlopeRise=1000, caretSlopeRun=213),
    'strikes': [],
}

# Damaged inputs, made from the example's bytes: each is refused with this
# message on standard error.
def table_at(raw, tag):
    n = struct.unpack('>H', raw[4:6])[0]
    for i in range(n):
        rec = 12 + 16 * i
        if raw[rec:rec + 4] == tag:
            return rec, struct.unpack('>II', raw[rec + 8:rec + 16])
    raise KeyError(tag)


def first_subtable(raw):
    """Where the first EBLC index subtable of the first strike starts."""
    eblc = table_at(raw, b'EBLC')[1][0]
    array = eblc + struct.unpack('>I', raw[eblc + 8:eblc + 12])[0]
    return array + struct.unpack('>I', raw[array + 4:array + 8])[0]


def patched(raw, at, data):
    return raw[:at] + data + raw[at + len(data):]


REFUSED = [
    ('not a font', lambda raw: b'kilnfont\n' * 10, 'not a TrueType font'),
    ('empty file', lambda raw: b'', 'not a font: too short for its table directory'),
    ('truncated', lambda raw: raw[:100000], 'broken font: a table runs past the end of the file'),
    ('another table', lambda raw: raw.replace(b'gasp', b'kern', 1), "not of kilnfont's layout: other tables"),
    ('twelve tables', lambda raw: patched(raw, 4, b'\x00\x0c'), "not of kilnfont's layout: it has 11 or 13"),
    ('loca past glyf', lambda raw: patched(raw, table_at(raw, b'loca')[1][0] + 8, b'\x7f\xff\xff\xff'),
     'broken loca table'),
    ('composite glyph', lambda raw: patched(raw, table_at(raw, b'glyf')[1][0], b'\xff\xff'),
     "not of kilnfont's layout: a composite glyph"),
    ('EBLC index format 1', lambda raw: patched(raw, first_subtable(raw), b'\x00\x01'),
     "not of kilnfont's layout: EBLC index or image format"),
]

def run(cmd, env=None, **kw):
    return subprocess.run(cmd, capture_output=True, env=dict(os.environ, **(env or {})), **kw)


def finish(tools, src, dst, env=None):
    r = run([tools['kilnfinish'], src, dst], env)
    check(r.returncode == 0 and not r.stderr, '%s: kilnfinish: %s' % (src, r.stderr.decode()))


def words_sum(data):
    data += b'\0' * (-len(data) % 4)
    return sum(struct.unpack('>%dI' % (len(data) // 4), data)) & 0xFFFFFFFF


def fields(font, tag, want, name):
    for k, v in want.items():
        got = getattr(font[tag], k)
        check(got == v, '%s: %s.%s is %r, not %r' % (name, tag, k, got, v))


def ft_strikes(path):
    face = freetype.Face(path)
    return [(s.height, s.width) for s in face.available_sizes], face


def ft_glyphs(face, codes, size=None):
    """Every glyph as FreeType gives it: the bitmap at a strike size, or the
    outline unscaled."""
    out = {}
    if size:
        face.select_size(size)
    for c in codes:
        if size is None:
            face.load_char(c, freetype.FT_LOAD_NO_SCALE | freetype.FT_LOAD_NO_BITMAP)
            o = face.glyph.outline
            out[c] = (tuple(o.points), tuple(o.contours), tuple(t & 1 for t in o.tags), face.glyph.metrics.horiAdvance)
        else:
            face.load_char(c, freetype.FT_LOAD_RENDER | freetype.FT_LOAD_TARGET_MONO)
            g = face.glyph
            out[c] = (bytes(g.bitmap.buffer), g.bitmap.rows, g.bitmap.width, g.bitmap_left, g.bitmap_top,
                      g.advance.x)
    return out


def compare(raw_path, fin_path, name, want):
    """The finished font against the unfinished: what must not change, what
    must, and what the clients make of it."""
    raw, fin = TTFont(raw_path), TTFont(fin_path, checkChecksums=2)
    # Every table read, and written again (glyf only read: its points are
    # compared through FreeType below).
    WARNINGS.seen.clear()
    for tag in fin.keys():
        if tag not in ('GlyphOrder', 'glyf', 'loca'):
            fin[tag].compile(fin)
    fin['glyf'].ensureDecompiled()
    check(not WARNINGS.seen, '%s: fontTools warns: %s' % (name, WARNINGS.seen[:3]))
    check(raw.getGlyphOrder() == fin.getGlyphOrder(), name + ': glyph order changed')
    check([m[0] for m in raw['hmtx'].metrics.values()] == [m[0] for m in fin['hmtx'].metrics.values()],
          name + ': advances changed')
    for tag in ('cmap', 'name', 'gasp', 'EBDT'):
        if tag in raw:
            a, b = raw.reader[tag], fin.reader[tag]
            check(a[:len(b)] == b and not a[len(b):].strip(b'\0'), '%s: %s changed' % (name, tag))
    check(os.path.getsize(fin_path) < os.path.getsize(raw_path), name + ': the finished font is not smaller')

    data = open(fin_path, 'rb').read()
    check(words_sum(data) == 0xB1B0AFBA, name + ': the file does not sum to B1B0AFBA')
    os2 = fin['OS/2']
    bits = os2.getUnicodeRanges()
    check(bits == intersectUnicodeRanges(fin.getBestCmap().keys()),
          '%s: Unicode ranges %s, not those of its cmap' % (name, sorted(bits)))
    for tag in want.keys() & {'head', 'hhea', 'OS/2', 'post'}:
        fields(fin, tag, want[tag], name)
    for tag, n in want.get('lengths', {}).items():
        check(fin.reader.tables[tag].length == n, '%s: %s is %d bytes, not %d' % (name, tag, fin.reader.tables[tag].length, n))

    # The subsetter with its default options, on a few characters.
    WARNINGS.seen.clear()
    try:
        sub = subset.Subsetter(subset.Options())
        sub.populate(unicodes=list(fin.getBestCmap())[:50])
        f2 = TTFont(fin_path)
        sub.subset(f2)
        f2.save(io.BytesIO())
        check(not WARNINGS.seen, '%s: the subsetter warns: %s' % (name, WARNINGS.seen[:3]))
    except Exception as e:  # a crash of the subsetter is the finding
        check(False, '%s: the subsetter fails: %r' % (name, e))

    # FreeType: strikes as tall (and, where given, as wide) as their size;
    # every bitmap and every outline as before.
    strikes, face = ft_strikes(fin_path)
    if 'strikes' in want:
        check(strikes == want['strikes'], '%s: FreeType strikes %s' % (name, strikes))
    check(all(h == s.y_ppem // 64 for (h, _), s in zip(strikes, face.available_sizes)),
          '%s: a strike is not as tall as its size: %s' % (name, strikes))
    codes = sorted(fin.getBestCmap())
    _, rface = ft_strikes(raw_path)
    for k in range(len(face.available_sizes)):
        check(ft_glyphs(rface, codes, k) == ft_glyphs(face, codes, k), '%s: bitmaps of strike %d changed' % (name, k))
    check(ft_glyphs(rface, codes) == ft_glyphs(face, codes), name + ': FreeType places outlines elsewhere')

    # WOFF2 made by fontTools (for the example: it takes long) and by
    # woff2_compress, decoded again.
    if 'woff2' in want:
        w = fin_path[:-4] + '.woff2'
        f3 = TTFont(fin_path)
        f3.flavor = 'woff2'
        f3.save(w)
        check(ft_glyphs(freetype.Face(w), codes) == ft_glyphs(face, codes), name + ': FreeType reads the WOFF2 otherwise')
    wdir = tempfile.mkdtemp(dir=os.path.dirname(fin_path))
    w = os.path.join(wdir, 'w')
    shutil.copy(fin_path, w + '.ttf')
    r1 = run(['woff2_compress', w + '.ttf'])
    os.rename(w + '.ttf', w + '.orig.ttf')
    r2 = run(['woff2_decompress', w + '.woff2'])
    check(r1.returncode == 0 and r2.returncode == 0, name + ': woff2_compress or woff2_decompress fails')
    if r2.returncode == 0:
        dec = TTFont(w + '.ttf')
        check(dec.reader['glyf'] == fin.reader['glyf'] and dec.reader['loca'] == fin.reader['loca'],
              name + ': woff2_decompress rebuilds another glyf or loca')
        check(ft_glyphs(freetype.Face(w + '.woff2'), codes) == ft_glyphs(face, codes),
              name + ': FreeType reads woff2_compress\'s WOFF2 otherwise')

    r = run(['ots-sanitize', fin_path, os.path.join(wdir, 'ots.ttf')])
    check(r.returncode == 0, '%s: OTS refuses it: %s' % (name, r.stderr.decode()[:300]))


FONTFORGE = '''
import fontforge, sys
f = fontforge.open(sys.argv[1])
print(hex(f.validate(1)))
'''


def fontforge_start(path):
    return subprocess.Popen(['/usr/bin/python3', '-c', FONTFORGE, path], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)


def fontforge_done(p, name):
    out, err = p.communicate(timeout=600)
    said = [l for l in err.decode().splitlines() if l.strip() and not l.startswith('Program root')]
    # 0x20, points missing at extrema, is a property of the traced outlines
    # (contours of off-curve points), which stay as kilnfont wrote them.
    mask = int(out.strip() or b'-1', 16)
    check(p.returncode == 0 and mask & ~0x20 == 0 and not said,
          '%s: FontForge: %s %s' % (name, out.decode().strip(), said[:3]))


def firefox(path, work):
    """Loads the font through @font-face in a headless Firefox; returns the
    user-font log lines about it."""
    site = os.path.join(work, 'site')
    os.makedirs(site)
    shutil.copy(path, os.path.join(site, 'f.ttf'))
    open(os.path.join(site, 'index.html'), 'w').write(
        '<!DOCTYPE html><meta charset="utf-8"><style>@font-face{font-family:K;src:url(f.ttf)}'
        'body{font-family:K;font-size:48px}</style>亜あア漢字テスト')
    home, log = os.path.join(work, 'home'), os.path.join(work, 'ff')
    os.makedirs(os.path.join(home, 'profile'))
    run_browser(['firefox-esr', '--headless', '--no-remote', '-profile', os.path.join(home, 'profile'),
                 '--screenshot', os.path.join(work, 'shot.png'), '{url}'], site,
                dict(os.environ, HOME=home, MOZ_LOG='userfonts:5,sync', MOZ_LOG_FILE=log))
    lines = []
    for f in os.listdir(work):
        if f.startswith('ff'):
            lines += [l for l in open(os.path.join(work, f), errors='replace') if 'f.ttf' in l]
    return lines


def refusals(tools, raw_path, work):
    raw = open(raw_path, 'rb').read()
    d = os.path.join(work, 'refused')
    os.makedirs(d)
    for name, make, message in REFUSED:
        src, dst = os.path.join(d, 'in.ttf'), os.path.join(d, 'out.ttf')
        open(src, 'wb').write(make(raw))
        open(dst, 'wb').write(b'old')
        r = run([tools['kilnfinish'], src, dst])
        err = r.stderr.decode()
        check(r.returncode == 1 and err.startswith('kilnfinish: ') and message in err and not r.stdout,
              'refused %s: status %d, %r' % (name, r.returncode, err))
        check(open(dst, 'rb').read() == b'old' and sorted(os.listdir(d)) == ['in.ttf', 'out.ttf'],
              'refused %s: OUT touched or a file left behind' % name)
    # OUT may be IN by the same path (replaced), never under another name.
    shutil.copy(raw_path, src)
    os.remove(dst)
    os.link(src, dst)
    r = run([tools['kilnfinish'], src, dst])
    check(r.returncode == 1 and b'is the input under another name' in r.stderr and open(src, 'rb').read() == raw,
          'IN as OUT under another name: status %d' % r.returncode)
    r = run([tools['kilnfinish'], src, src])
    check(r.returncode == 0 and open(src, 'rb').read() != raw and open(dst, 'rb').read() == raw,
          'IN as OUT by the same path: status %d' % r.returncode)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--build', required=True)
    ap.add_argument('corpus', nargs='*')
    args = ap.parse_args()
    tools = {t: os.path.join(args.build, t) for t in ('kilnfont', 'kilnfinish')}
    work = tempfile.mkdtemp(prefix='kiln-finish.')
    try:
        fonts = []  # (name, unfinished, expected)
        for variant, flags in (('example', []), ('italic', ['-n'])):
            d = os.path.join(work, variant)
            shutil.copytree(os.path.join(TOP, 'example'), d, ignore=shutil.ignore_patterns('*.ttf'))
            info = open(os.path.join(d, 'example.info'), encoding='utf-8').read()
            if variant == 'italic':
                info = info.replace('Regular', 'Italic')
            open(os.path.join(d, 'font.info'), 'w', encoding='utf-8').write(info)
            r = run([tools['kilnfont']] + flags + ['font.info', 'gothic12.pxg', 'gothic14.pxg', 'gothic16.pxg'], cwd=d)
            check(r.stdout.endswith(b'complete\n'), variant + ': kilnfont fails')
            fonts.append((variant, os.path.join(d, 'kilnexample.ttf'), EXAMPLE if variant == 'example' else ITALIC))
        if args.corpus:
            keep = os.path.join(work, 'corpus')
            r = run(['/usr/bin/python3', os.path.join(TOP, 'tools', 'bdfcorpus.py'), '--build', args.build, '--keep',
                     keep] + args.corpus)
            check(r.returncode == 0, 'bdfcorpus fails: ' + r.stdout.decode()[-500:])
            fonts += [(c, os.path.join(keep, c + '.ttf'), {}) for c in args.corpus]

        forge = []
        for name, raw_path, want in fonts:
            fin = raw_path[:-4] + '.fin.ttf'
            os.utime(raw_path, (1600000000, 1600000000))
            finish(tools, raw_path, fin)
            check(TTFont(fin)['head'].created == 1600000000 + EPOCH_1904, name + ': created is not the input\'s time')
            forge.append((fontforge_start(fin), name))
            again = fin[:-4] + '.again.ttf'
            for env in ({}, {'SOURCE_DATE_EPOCH': '1700000000'}):
                finish(tools, fin, again, env)
                same = open(again, 'rb').read() == open(fin, 'rb').read()
                check(same == (not env), '%s: finishing again %s gives %s bytes' % (
                    name, 'with SOURCE_DATE_EPOCH' if env else '', 'the same' if same else 'other'))
            check(TTFont(again)['head'].modified == 1700000000 + EPOCH_1904, name + ': SOURCE_DATE_EPOCH not used')
            compare(raw_path, fin, name, want)
            print('checked', name, flush=True)
        for p, name in forge:
            fontforge_done(p, name)

        lines = firefox(fonts[0][1][:-4] + '.fin.ttf', os.path.join(work, 'firefox'))
        check(any('loaded uri' in l for l in lines), 'Firefox did not load the finished example: %s' % lines[:3])
        noisy = [l for l in lines if 'downloadable font:' in l]
        check(not noisy, 'Firefox logs for the finished example: %s' % noisy[:3])

        refusals(tools, fonts[0][1], work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    exit_with_failures()


if __name__ == '__main__':
    main()
