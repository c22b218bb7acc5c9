"""End-to-end checks of kilnfont on real bitmap fonts.

A case is one font: Debian's Shinonome BDF fonts (made from PCF with
pcf2bdf) turned into pxg files by tools/bdf2pxg in some shape (one file per
size, all sizes in one file, one size spread over files and blocks, inline or
data-fork storage, sizes in any order), converted with and without "-n".
Every converted font is checked against the BDF, not against the pxg files:

- the table directory, every table checksum and the whole-file sum (our own
  reader); "-n" drops EBDT and EBLC and leaves every other table's bytes;
- ots-sanitize accepts it, fontTools decompiles every table, FreeType loads it;
- the cmap maps each character's Unicode value (by jis_uni.txt) to its glyph,
  glyphs in code order; names, hmtx, gasp and the strike list are as given;
- at every strike's pixel size, FreeType's embedded bitmap of every character
  is bit-identical to the BDF bitmap, placed on the same baseline;
- every outline, rendered by FreeType monochrome and unhinted at 4x the size
  it was traced from, has every source pixel centre on the right side; at the
  native size the agreement is reported and held above measured floors.

A missing tool or module is a failure, not a skip.
"""

import argparse
import ctypes
import glob
import hashlib
import logging
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

try:
    import freetype
    import numpy as np
    from fontTools.ttLib import TTFont
except ImportError as e:
    sys.exit("FAIL: %s (run with Debian's /usr/bin/python3: python3-fonttools, python3-freetype, python3-numpy)" % e)

FONTS = '/usr/share/fonts/X11/misc'
BDF_NAMES = {'gothic': 'shnmk%d', 'mincho': 'shnmk%dmin'}

# fontTools warns about what is by design: head and OS/2 carry their zero
# padding in their recorded length, and head's dates are 0.
EXPECTED_WARNINGS = ("extra bytes at the end of 'head' table", "too much 'OS/2' table data",
                     "timestamp seems very low")
logging.basicConfig(format='fontTools: %(message)s')
for _h in logging.getLogger().handlers:
    _h.addFilter(lambda rec: not any(w in rec.getMessage() for w in EXPECTED_WARNINGS))

OUTLINE_LOAD = (freetype.FT_LOAD_RENDER | freetype.FT_LOAD_NO_HINTING | freetype.FT_LOAD_NO_BITMAP
                | freetype.FT_LOAD_TARGET_MONO | freetype.FT_LOAD_MONOCHROME)


class Case:
    """files: the pxg files in command-line order, each made by pxg() from
    BDF parts, (size,) for a whole font or (size, k, n) for its k-th of n
    parts in file order, and bdf2pxg options; or example=True for the
    committed example font (example/FAMILYSIZE.pxg)."""

    def __init__(self, name, family, files=(), example=False):
        self.name, self.family, self.files, self.example = name, family, list(files), example


def pxg(parts, *options):
    return (parts, list(options))


class Suite:
    def __init__(self, title):
        ap = argparse.ArgumentParser()
        ap.add_argument('--kilnfont', required=True)
        ap.add_argument('--source-dir', required=True)
        ap.add_argument('--binary-dir', required=True)
        args = ap.parse_args()
        self.title = title
        self.kilnfont = os.path.abspath(args.kilnfont)
        self.example = os.path.join(args.source_dir, 'example')
        self.bdf2pxg = os.path.join(args.binary_dir, 'tools', 'bdf2pxg')
        if not os.access(self.bdf2pxg, os.X_OK):
            sys.exit('FAIL: %s is not built' % self.bdf2pxg)
        self.tmp = tempfile.mkdtemp(prefix='kiln-realfont.', dir=args.binary_dir)
        self.failures = []
        self.m2u = read_jis_uni(os.path.join(self.example, 'jis_uni.txt'))
        with open(os.path.join(self.example, 'example.info'), 'rb') as f:
            self.names = f.read().split(b'\n')[3:35]
        self.bdfs = {}       # (family, size) -> BDF path
        self.sources = {}    # (family, size) -> {unicode: S x S bool array}
        self.outlines = {}   # (family, traced sizes, outline tables digest) -> case name
        self.native = {}     # (family, size) -> [(agreement %, unicode)]

    def check(self, ok, message):
        if not ok:
            self.failures.append(message)
            print('FAIL: ' + message, flush=True)
        return ok

    def bdf(self, family, size):
        if (family, size) not in self.bdfs:
            stem = BDF_NAMES[family] % size
            pcf, bdf = os.path.join(self.tmp, stem + '.pcf'), os.path.join(self.tmp, stem + '.bdf')
            with open(pcf, 'wb') as f:
                subprocess.run(['gzip', '-dc', os.path.join(FONTS, stem + '.pcf.gz')], stdout=f, check=True)
            subprocess.run(['pcf2bdf', '-o', bdf, pcf], check=True)
            self.bdfs[family, size] = bdf
            self.sources[family, size] = read_bdf(bdf, size, self.m2u)
        return self.bdfs[family, size]

    def make_pxg(self, case, work):
        """Builds the case's pxg files in work; returns their names and the
        BDF bitmaps they hold, {size: {unicode: bitmap}}."""
        strikes, names = {}, []
        for n, (parts, options) in enumerate(case.files):
            bdfs = []
            for part in parts:
                family, size = case.family, part[0]
                bdf = self.bdf(family, size)
                k, of = part[1:] if len(part) > 1 else (0, 1)
                if of > 1:
                    bdf = split_bdf(bdf, k, of, os.path.join(work, 'part%d-%d.bdf' % (n, len(bdfs))))
                chars = list(self.sources[family, size].items())
                strikes.setdefault(size, {}).update(chars[len(chars) * k // of:len(chars) * (k + 1) // of])
                bdfs.append(bdf)
            names.append('f%d.pxg' % n)
            run = subprocess.run([self.bdf2pxg] + options + ['-o', os.path.join(work, names[-1])] + bdfs,
                                 capture_output=True, text=True)
            if run.returncode:
                sys.exit('FAIL: bdf2pxg %s: %s' % (' '.join(options), run.stderr))
        return names, strikes

    def convert(self, case):
        """Converts the case with and without "-n" in a directory of its own;
        returns the two fonts' paths, the BDF bitmaps the pxg files hold,
        {size: {unicode: bitmap}}, and kilnfont's wall time of each run."""
        work = os.path.join(self.tmp, 'case%d' % len(os.listdir(self.tmp)))
        os.makedirs(work)
        for f in ('jis_uni.txt', 'example.info'):
            shutil.copy(os.path.join(self.example, f), work)
        if case.example:
            names = sorted(os.path.basename(p) for p in glob.glob(os.path.join(self.example, '*.pxg')))
            strikes = {}
            for p in names:
                shutil.copy(os.path.join(self.example, p), work)
                size = int(p[len(case.family):-4])
                self.bdf(case.family, size)
                strikes[size] = self.sources[case.family, size]
        else:
            names, strikes = self.make_pxg(case, work)
        fonts, took = [], []
        for options in ([], ['-n']):
            start = time.monotonic()
            run = subprocess.run([self.kilnfont] + options + ['example.info'] + names, cwd=work,
                                 capture_output=True, text=True, timeout=600)
            took.append(time.monotonic() - start)
            if not run.stdout.endswith('complete\n'):
                sys.exit('FAIL: %s: kilnfont %s did not complete:\n%s%s' % (
                    case.name, ' '.join(options), run.stdout[-2000:], run.stderr))
            fonts.append(os.path.join(work, 'bare.ttf' if options else 'full.ttf'))
            os.rename(os.path.join(work, 'kilnexample.ttf'), fonts[-1])
        return fonts, strikes, took

    def run(self, cases, floors):
        try:
            for case in cases:
                try:
                    self.run_case(case)
                except Exception as e:  # a tool that gives up on the font
                    self.check(False, '%s: %s: %s' % (case.name, type(e).__name__, e))
            self.report(floors)
        finally:
            shutil.rmtree(self.tmp, ignore_errors=True)
        print('%s: %s' % (self.title, 'ok' if not self.failures else '%d failures' % len(self.failures)))
        return 1 if self.failures else 0

    def run_case(self, case):
        paths, strikes, took = self.convert(case)
        tables = []
        for path, bare, ms in zip(paths, (False, True), took):
            where = case.name + (' -n' if bare else '')
            with open(path, 'rb') as f:
                tables.append(check_directory(self, where, f.read(), 11 if bare else 13))
            check_ots(self, where, path)
            check_fonttools(self, where, path, strikes, self.names, not bare)
            face = freetype.Face(path)
            sizes = sorted(s.y_ppem >> 6 for s in face.available_sizes)
            self.check(sizes == ([] if bare else sorted(strikes)), '%s: FreeType sees strikes %s' % (where, sizes))
            nbitmaps = 0 if bare else check_bitmaps(self, where, face, strikes)
            traced = self.check_outlines(case.family, where, face, strikes, tables[-1])
            print('%-48s %d glyphs, strikes %s px, %5d bitmaps compared, outlines %s; kilnfont %.0f ms' % (
                where, len(set().union(*strikes.values())), sorted(strikes, reverse=True), nbitmaps, traced,
                ms * 1000), flush=True)
        check_without_bitmaps(self, case.name, *tables)

    def check_outlines(self, family, where, face, strikes, tables):
        """Renders every outline at 4x and at its native size, once per
        distinct set of outline tables: a font whose glyf, loca, head and maxp
        are byte-identical to a checked one's, traced from the same bitmaps,
        renders the same."""
        source = {}
        for size in sorted(strikes, reverse=True):
            for u, bits in strikes[size].items():
                source.setdefault(u, (size, bits))
        head = tables['head']
        key = (family, tuple(sorted((u, s) for u, (s, _) in source.items())),
               hashlib.sha1(tables['glyf'] + tables['loca'] + head[:8] + head[12:] + tables['maxp']).digest())
        if key in self.outlines:
            return 'identical to ' + self.outlines[key]
        self.outlines[key] = where
        for size in sorted({s for s, _ in source.values()}, reverse=True):
            chars = sorted(u for u, (s, _) in source.items() if s == size)
            for scale in (4, 1):
                ppem = size * scale
                face.set_pixel_sizes(0, ppem)
                # The pixel (at ppem) under each source pixel's centre: the
                # cell is x 0..990 and y from 899 - 990/size down, in the
                # 1000-unit em.
                c = np.arange(size)
                px = np.floor(990.0 * (c + 0.5) / size * ppem / 1000.0).astype(int)
                py = np.floor((899.0 - 990.0 * (c + 1.5) / size) * ppem / 1000.0).astype(int)
                wrong = []
                for u in chars:
                    face.load_glyph(face.get_char_index(u), OUTLINE_LOAD)
                    g = face.glyph
                    img = unpack(g.bitmap)
                    rows, cols = np.meshgrid(g.bitmap_top - 1 - py, px - g.bitmap_left, indexing='ij')
                    inside = (rows >= 0) & (rows < img.shape[0]) & (cols >= 0) & (cols < img.shape[1])
                    got = np.zeros((size, size), bool)
                    got[inside] = img[rows[inside], cols[inside]]
                    diff = got != source[u][1]
                    if scale == 1:
                        self.native.setdefault((family, size), []).append((100.0 * (1 - diff.mean()), u))
                    elif diff.any():
                        r, c2 = np.nonzero(diff)
                        wrong.append('U+%04X (%s)' % (u, ' '.join('%s(%d,%d)' % (
                            'ink' if source[u][1][a, b] else 'blank', a, b) for a, b in zip(r[:4], c2[:4]))))
                self.check(not wrong, '%s: %d px outlines at 4x: %d glyphs with pixel centres on the wrong side: %s'
                           % (where, size, len(wrong), ', '.join(wrong[:6])))
        return 'rendered at 4x'

    def report(self, floors):
        """Native-size agreement of the outlines, per family and size."""
        for (family, size), v in sorted(self.native.items()):
            mean = sum(a for a, _ in v) / len(v)
            worst, worst_u = min(v)
            print('%s %2d px outlines at native size: %d glyphs, agreement mean %.2f%%, worst %.2f%% (U+%04X), '
                  '%d exact' % (family, size, len(v), mean, worst, worst_u, sum(a == 100.0 for a, _ in v)))
            fmean, fworst = floors[family, size]
            self.check(mean >= fmean and worst >= fworst, '%s %d px: native agreement %.2f%% / %.2f%% below the '
                       'floors %.2f%% / %.2f%%' % (family, size, mean, worst, fmean, fworst))


def read_jis_uni(path):
    """Linear JIS index -> Unicode value (0 = none), from jis_uni.txt: a count
    line, then "JIS Unicode" in hex, JIS = plane << 16 | row << 8 | cell."""
    m2u = [0] * 17672
    with open(path, 'rb') as f:
        for line in f.read().split(b'\n')[1:]:
            parts = line.split()
            try:
                jis, uni = int(parts[0], 16), int(parts[1], 16)
            except (ValueError, IndexError):
                continue
            plane, row, cell = jis >> 16, (jis >> 8) & 0xFF, jis & 0xFF
            if plane <= 1 and 0x21 <= row <= 0x7E and 0x21 <= cell <= 0x7E:
                m2u[plane * 8836 + (row - 0x21) * 94 + (cell - 0x21)] = uni & 0xFFFF
    return m2u


def read_bdf(path, size, m2u):
    """{unicode: size x size bool array}, in file order, of a JIS X 0208 BDF
    font: each glyph placed by its BBX with the baseline 2 rows above the
    cell's bottom, where the font puts the embedded bitmaps' baseline."""
    glyphs = {}
    with open(path) as f:
        lines = f.read().split('\n')
    ascent = next(int(l.split()[1]) for l in lines if l.startswith('FONT_ASCENT '))
    assert ascent == size - 2, '%s: ascent %d, not %d' % (path, ascent, size - 2)
    i = 0
    while i < len(lines):
        key = lines[i].split(' ', 1)[0]
        if key == 'ENCODING':
            enc = int(lines[i].split()[1])
        elif key == 'BBX':
            w, h, xo, yo = map(int, lines[i].split()[1:5])
        elif key == 'BITMAP':
            rows = np.unpackbits(np.frombuffer(bytes.fromhex(''.join(lines[i + 1:i + 1 + h])), np.uint8)
                                 .reshape(h, -1), axis=1)[:, :w].astype(bool)
            top = size - 2 - yo - h  # cell row of the BBX's top row
            assert 0 <= top and top + h <= size and 0 <= xo and xo + w <= size, '%s: BBX off the cell' % path
            uni = m2u[((enc >> 8) - 0x21) * 94 + (enc & 0xFF) - 0x21]
            assert uni, '%s: JIS %04x has no Unicode value' % (path, enc)
            glyphs[uni] = np.zeros((size, size), bool)
            glyphs[uni][top:top + h, xo:xo + w] = rows
            i += h
        i += 1
    return glyphs


def split_bdf(path, k, of, out):
    """Writes part k of of (by glyph order) of a BDF font to out."""
    with open(path) as f:
        text = f.read()
    head = text[:text.index('\nSTARTCHAR') + 1]
    chars = re.findall(r'^STARTCHAR.*?^ENDCHAR\n', text, re.M | re.S)
    part = chars[len(chars) * k // of:len(chars) * (k + 1) // of]
    head = re.sub(r'^CHARS \d+', 'CHARS %d' % len(part), head, flags=re.M)
    with open(out, 'w') as f:
        f.write(head + ''.join(part) + 'ENDFONT\n')
    return out


def unpack(bm):
    """A FreeType mono bitmap as a rows x width bool array."""
    rows, pitch = bm.rows, bm.pitch
    if rows == 0:
        return np.zeros((0, 0), bool)
    raw = np.frombuffer(ctypes.string_at(bm._FT_Bitmap.buffer, rows * pitch), np.uint8).reshape(rows, pitch)
    return np.unpackbits(raw, axis=1)[:, :bm.width].astype(bool)


def check_directory(suite, where, data, ntables):
    """Our own reading of the sfnt: header fields, tags ascending, tables
    contiguous from the directory's end, 4-byte lengths, each checksum over
    its table (head with checkSumAdjustment as 0), and the whole file summing
    to 0xB1B0AFBA. Returns {tag: table bytes}."""
    def sum32(b):
        return sum(struct.unpack('>%dI' % (len(b) // 4), b)) & 0xFFFFFFFF

    header = struct.unpack_from('>IHHHH', data)
    num = header[1]
    p = 1 << (num.bit_length() - 1)
    suite.check(header == (0x10000, ntables, 16 * p, p.bit_length() - 1, 16 * (num - p)),
                '%s: offset subtable %s' % (where, header))
    tables, at, tags = {}, 12 + 16 * num, []
    for i in range(num):
        tag, csum, off, length = struct.unpack_from('>4sIII', data, 12 + 16 * i)
        tag = tag.decode('latin-1')
        tags.append(tag)
        body = data[off:off + length]
        suite.check(off == at and length % 4 == 0 and len(body) == length,
                    '%s: %s at %d, length %d, expected at %d' % (where, tag, off, length, at))
        tables[tag] = body
        at = off + length
        summed = body[:8] + b'\0\0\0\0' + body[12:] if tag == 'head' else body
        suite.check(sum32(summed) == csum, '%s: %s checksum %08x, sums to %08x' % (where, tag, csum, sum32(summed)))
    suite.check(tags == sorted(tags) and len(set(tags)) == num, '%s: tags %s' % (where, tags))
    suite.check(at == len(data), '%s: file is %d bytes, tables end at %d' % (where, len(data), at))
    suite.check(len(data) % 4 == 0 and sum32(data) == 0xB1B0AFBA, '%s: whole-file sum %08x' % (where, sum32(data)))
    return tables


def check_ots(suite, where, path):
    ots = shutil.which('ots-sanitize')
    if suite.check(ots is not None, 'ots-sanitize not found (package opentype-sanitizer)'):
        run = subprocess.run([ots, path], capture_output=True, text=True, timeout=600)
        suite.check(run.returncode == 0, '%s: ots-sanitize exit %d: %s%s' % (where, run.returncode, run.stdout,
                                                                             run.stderr))


def check_fonttools(suite, where, path, strikes, names, withbmp):
    """Every table decompiles; glyph order, cmap, hmtx, names, gasp and the
    EBLC strikes agree with the source."""
    font = TTFont(path, lazy=False)
    for tag in font.keys():
        try:
            table = font[tag]
            if tag == 'glyf':
                for name in font.getGlyphOrder():
                    table[name].expand(table)
        except Exception as e:  # a table that does not decompile
            suite.check(False, '%s: fontTools cannot decompile %s: %r' % (where, tag, e))
    codes = sorted(set().union(*strikes.values()))
    order, cmap = font.getGlyphOrder(), font.getBestCmap()
    suite.check(cmap == {u: order[gid] for gid, u in enumerate(codes, 1)} and len(order) == len(codes) + 1,
                '%s: cmap is not every code to its glyph in code order (%d glyphs, %d codes)' % (
                    where, len(order), len(codes)))
    suite.check(all(font['hmtx'][g] == (1000, 0) for g in order), '%s: hmtx not all (1000, 0)' % where)
    gasp = font['gasp'].gaspRange
    suite.check(gasp == {max(strikes): 2, 2 * max(strikes): 1, 0xFFFF: 3}, '%s: gasp %s' % (where, gasp))
    suite.check(('EBLC' in font) == withbmp and ('EBDT' in font) == withbmp, '%s: EBDT/EBLC presence' % where)
    if withbmp:
        ppems = [s.bitmapSizeTable.ppemY for s in font['EBLC'].strikes]
        suite.check(ppems == sorted(strikes, reverse=True), '%s: EBLC strikes %s' % (where, ppems))
    # Mac Roman names are the info-file's bytes, Mac Japanese its text in
    # Shift-JIS, Windows names its text.
    for r, text in enumerate(names):
        group, nid = divmod(r, 8)
        rec = font['name'].getName(nid, *[(1, 0, 0), (1, 1, 11), (3, 1, 0x409), (3, 1, 0x411)][group])
        want = [text, text.decode('utf-8').encode('cp932')][group] if group < 2 else text.decode('utf-8')
        got = rec and (rec.string if group < 2 else rec.toUnicode())
        suite.check(got == want, '%s: name %d of group %d is %r, expected %r' % (where, nid, group, got, want))


def check_bitmaps(suite, where, face, strikes):
    """FreeType's embedded bitmap of every character at every strike size:
    S x S, its top S - 2 rows above the baseline, pixels as in the BDF."""
    compared, bad = 0, []
    for size, glyphs in sorted(strikes.items()):
        face.set_pixel_sizes(size, size)
        for u, want in sorted(glyphs.items()):
            face.load_glyph(face.get_char_index(u), freetype.FT_LOAD_DEFAULT)
            g = face.glyph
            frame = (g.format, g.bitmap.pixel_mode, g.bitmap.width, g.bitmap.rows, g.bitmap_left, g.bitmap_top)
            if frame != (freetype.FT_GLYPH_FORMAT_BITMAP, freetype.FT_PIXEL_MODE_MONO, size, size, 0, size - 2):
                bad.append('U+%04X at %d px: format, mode, size, left, top %s' % (u, size, frame))
            elif not np.array_equal(unpack(g.bitmap), want):
                bad.append('U+%04X at %d px: rows %s' % (u, size, np.nonzero((unpack(g.bitmap) != want).any(1))[0]))
            compared += 1
    suite.check(not bad, '%s: %d embedded bitmaps differ from the BDF: %s' % (where, len(bad), '; '.join(bad[:4])))
    return compared


def check_without_bitmaps(suite, name, full, bare):
    """"-n" drops EBDT and EBLC; every other table keeps its bytes, but for
    head's checkSumAdjustment."""
    suite.check(sorted(bare) == sorted(set(full) - {'EBDT', 'EBLC'}), '%s -n: tables %s' % (name, sorted(bare)))
    for tag in bare:
        a, b = full[tag], bare[tag]
        if tag == 'head':
            a, b = a[:8] + a[12:], b[:8] + b[12:]
        suite.check(a == b, '%s -n changes %s' % (name, tag))
