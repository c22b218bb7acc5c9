#!/usr/bin/python3
"""Converts the example font with and without "-n" and checks the result
with the real font tools: fontTools decompiles every table, ots-sanitize
accepts the font, FreeType returns at each strike's pixel size the embedded
bitmap equal to the source bitmap, and "-n" leaves every other table
byte-identical. A missing tool or module is a failure, not a skip."""

import argparse
import glob
import logging
import os
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fontcheck  # noqa: E402

try:
    import freetype
    from fontTools.ttLib import TTFont
except ImportError as e:
    sys.exit('FAIL: %s (run with Debian\'s /usr/bin/python3, with python3-fonttools and python3-freetype)' % e)

failures = []

# fontTools warns about what is by design here: head and OS/2 carry the
# zero padding to a multiple of 4 in their recorded length, and head's
# dates are 0. Other warnings are shown.
EXPECTED_WARNINGS = ("extra bytes at the end of 'head' table", "too much 'OS/2' table data",
                     "timestamp seems very low")


class _WarningFilter(logging.Filter):
    def filter(self, record):
        return not any(w in record.getMessage() for w in EXPECTED_WARNINGS)


logging.basicConfig(format='fontTools: %(message)s')
for _h in logging.getLogger().handlers:
    _h.addFilter(_WarningFilter())


def check(ok, message):
    if not ok:
        failures.append(message)
        print('FAIL: ' + message)
    return ok


def convert(kilnfont, example, workdir, options):
    """Copies the example font into workdir, runs kilnfont there and
    returns the path of the font it wrote."""
    shutil.copytree(example, workdir)
    pxg = sorted(os.path.basename(p) for p in glob.glob(os.path.join(workdir, '*.pxg')))
    run = subprocess.run([os.path.abspath(kilnfont)] + options + ['example.info'] + pxg, cwd=workdir,
                         capture_output=True, text=True, timeout=600)
    log = run.stdout
    if not log.endswith('complete\n'):
        sys.exit('FAIL: kilnfont %s did not complete:\n%s%s' % (' '.join(options), log[-2000:], run.stderr))
    return os.path.join(workdir, fontcheck.output_name(os.path.join(workdir, 'example.info'))), pxg


def check_fonttools(path, strikes, names):
    """Every table decompiles; what fontTools reads agrees with the source."""
    font = TTFont(path, lazy=False)
    for tag in font.keys():
        if tag == 'GlyphOrder':
            continue
        try:
            table = font[tag]
            if tag == 'glyf':
                for name in font.getGlyphOrder():
                    table[name].expand(table)
        except Exception as e:  # a table that does not decompile
            check(False, '%s: fontTools cannot decompile %s: %r' % (path, tag, e))
    if hasattr(font, 'ensureDecompiled'):
        font.ensureDecompiled()

    codes = sorted(set().union(*[set(s) for s in strikes.values()]))
    order = font.getGlyphOrder()
    cmap = font.getBestCmap()
    check(len(order) == len(codes) + 1, '%s: %d glyphs, expected %d' % (path, len(order), len(codes) + 1))
    bad = [u for gid, u in enumerate(codes, 1) if cmap.get(u) != order[gid]]
    check(not bad, '%s: cmap maps %d codes wrongly, first U+%04X' % (path, len(bad), bad[0] if bad else 0))
    check(set(cmap) == set(codes), '%s: cmap holds codes that have no bitmap' % path)
    check(all(font['hmtx'][g] == (1000, 0) for g in order), '%s: hmtx not all (1000, 0)' % path)

    # Windows names decode to the info-file text; Mac Roman is the raw bytes.
    for r in range(32):
        group, nid = divmod(r, 8)
        plat, enc, lang = [(1, 0, 0), (1, 1, 11), (3, 1, 0x409), (3, 1, 0x411)][group]
        rec = font['name'].getName(nid, plat, enc, lang)
        if not check(rec is not None, '%s: name record %d missing' % (path, r)):
            continue
        text = names[r]
        if group == 0:
            check(rec.string == text, '%s: Mac Roman name %d is %r' % (path, nid, rec.string))
        elif group == 1:
            try:
                sjis = text.decode('utf-8').encode('cp932')
            except UnicodeError:  # substitutes: not comparable with Python's table
                continue
            check(rec.string == sjis, '%s: Mac Japanese name %d is %r' % (path, nid, rec.string))
        elif group >= 2:
            check(rec.toUnicode() == text.decode('utf-8', 'replace'),
                  '%s: Windows name %d/%x is %r' % (path, nid, lang, rec.toUnicode()))
    if 'EBLC' in font:
        ppems = [s.bitmapSizeTable.ppemY for s in font['EBLC'].strikes]
        check(ppems == sorted(strikes, reverse=True), '%s: EBLC strikes %s' % (path, ppems))
    gasp = font['gasp'].gaspRange
    largest = max(strikes)
    check(gasp == {largest: 2, 2 * largest: 1, 0xFFFF: 3}, '%s: gasp %s' % (path, gasp))


def check_ots(path):
    ots = shutil.which('ots-sanitize')
    if not check(ots is not None, 'ots-sanitize not found (package opentype-sanitizer)'):
        return
    run = subprocess.run([ots, path], capture_output=True, text=True, timeout=600)
    check(run.returncode == 0, '%s: ots-sanitize exit %d:\n%s%s' % (path, run.returncode, run.stdout, run.stderr))


def check_freetype(path, strikes):
    """At each strike's size FreeType must give the embedded bitmap (not a
    rendered outline) with the strike's metrics and the source's pixels."""
    face = freetype.Face(path)
    sizes = sorted((s.y_ppem >> 6 if s.y_ppem else s.height) for s in face.available_sizes)
    check(sizes == sorted(strikes), '%s: FreeType sees strikes %s' % (path, sizes))
    compared = 0
    for size, glyphs in sorted(strikes.items()):
        face.set_pixel_sizes(size, size)
        nbytes = fontcheck.bitmap_bytes(size)
        mask = (1 << size) - 1
        bad = []
        for uni, bits in sorted(glyphs.items()):
            face.load_char(uni, freetype.FT_LOAD_DEFAULT)
            slot = face.glyph
            bm = slot.bitmap
            if (slot.format != freetype.FT_GLYPH_FORMAT_BITMAP or bm.pixel_mode != freetype.FT_PIXEL_MODE_MONO
                    or bm.width != size or bm.rows != size or slot.bitmap_left != 0
                    or slot.bitmap_top != size - 2):
                bad.append((uni, 'format %d mode %d %dx%d at (%d, %d)' % (
                    slot.format, bm.pixel_mode, bm.width, bm.rows, slot.bitmap_left, slot.bitmap_top)))
                continue
            buf, pitch = bytes(bm.buffer), bm.pitch
            stream = int.from_bytes(bits, 'big')
            for y in range(size):
                want = (stream >> (8 * nbytes - (y + 1) * size)) & mask
                got = int.from_bytes(buf[y * pitch:(y + 1) * pitch], 'big') >> (8 * pitch - size)
                if want != got:
                    bad.append((uni, 'row %d is %0*x, source %0*x' % (y, (size + 3) // 4, got, (size + 3) // 4, want)))
                    break
            compared += 1
        check(not bad, '%s: %d px: %d bitmaps differ, first U+%04X: %s' % (
            path, size, len(bad), bad[0][0] if bad else 0, bad[0][1] if bad else ''))
    return compared


def check_without_bitmaps(full_path, bare_path):
    """"-n" drops EBDT and EBLC and changes nothing else but head's
    checkSumAdjustment."""
    with open(full_path, 'rb') as f:
        full = fontcheck.font_tables(f.read())
    with open(bare_path, 'rb') as f:
        bare_data = f.read()
    bare = fontcheck.font_tables(bare_data)
    check(struct.unpack_from('>H', bare_data, 4)[0] == 11, '%s: not 11 tables' % bare_path)
    check(sorted(bare) == sorted(set(full) - {'EBDT', 'EBLC'}), '-n tables: %s' % sorted(bare))
    for tag in bare:
        a, b = full[tag][3], bare[tag][3]
        if tag == 'head':
            a, b = a[:8] + a[12:], b[:8] + b[12:]
        check(a == b and full[tag][0] == bare[tag][0],
              '-n changes %s:\n%s' % (tag, fontcheck.hexdiff(a, b)))


def file_sum(path):
    with open(path, 'rb') as f:
        data = f.read()
    return sum(struct.unpack('>%dI' % (len(data) // 4), data[:len(data) // 4 * 4])) & 0xFFFFFFFF


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--kilnfont', required=True)
    ap.add_argument('--source-dir', required=True)
    ap.add_argument('--binary-dir', required=True)
    args = ap.parse_args()

    example = os.path.join(args.source_dir, 'example')
    if not os.path.isfile(os.path.join(example, 'example.info')):
        sys.exit('FAIL: no example font in %s' % example)
    with tempfile.TemporaryDirectory(prefix='kiln-fonttools-') as tmp:
        full, pxg = convert(args.kilnfont, example, os.path.join(tmp, 'full'), [])
        bare, _ = convert(args.kilnfont, example, os.path.join(tmp, 'bare'), ['-n'])

        m2u = fontcheck.read_jis_uni(os.path.join(example, 'jis_uni.txt'))
        strikes = fontcheck.read_strikes([os.path.join(example, p) for p in pxg], m2u)
        names = fontcheck.read_info_names(os.path.join(example, 'example.info'))
        if not strikes:
            sys.exit('FAIL: the example font has no bitmaps')

        for path in (full, bare):
            check(file_sum(path) == 0xB1B0AFBA, '%s: file sum is not B1B0AFBA' % path)
            check_fonttools(path, strikes, names)
            check_ots(path)
        compared = check_freetype(full, strikes)
        check_without_bitmaps(full, bare)

    glyphs = len(set().union(*[set(s) for s in strikes.values()]))
    print('fonttools_test: %d glyphs, strikes %s px, %d embedded bitmaps compared with FreeType; '
          'fontTools and ots-sanitize on 13- and 11-table fonts: %s' % (
              glyphs, sorted(strikes, reverse=True), compared,
              'ok' if not failures else '%d failures' % len(failures)))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
