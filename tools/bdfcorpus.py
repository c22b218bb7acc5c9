#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Corpus check: every Japanese bitmap font Debian ships, from BDF to TrueType.

Takes the fonts of the installed packages xfonts-shinonome, xfonts-kaname,
xfonts-mplus, xfonts-intl-japanese, xfonts-intl-japanese-big and
xfonts-jisx0213 (PCF, turned into BDF by pcf2bdf) and converts each font of
JIS X 0208, JIS X 0212 or JIS X 0213 the way a user would:

    mkjisuni jis_uni.txt                   (mkjisuni --jisx0213 for JIS X 0213)
    bdf2pxg --map jis_uni.txt -o F.pxg F.bdf
    kilnfont F.info F.pxg                  (in the directory of jis_uni.txt)

With --families, bdf2ttf converts each family and style straight from the
installed .pcf.gz files, all its sizes in one command:

    bdf2ttf FONT.pcf.gz...                 (one family and style)

and each font is checked as below (without decompiling every outline),
with fc-scan's family and style names: every pair is distinct, the family
holds FOUNDRY and FAMILY_NAME, the style says Bold and Italic exactly when
WEIGHT_NAME and SLANT do, and the copyright is the font's COPYRIGHT.

Otherwise each font is checked: kilnfont ends with "complete", ots-sanitize
accepts the font, fontTools decompiles every table, FreeType loads it and
finds the strike, the cmap holds exactly the characters kept, and every
embedded bitmap equals the BDF glyph placed by bdf2pxg's rule (below). The
numbers in the table come from this script's own reading of the BDF and are
checked against the counts bdf2pxg reports, so nothing is dropped or
clipped without a line that says so.

The placement rule: H = FONT_ASCENT + FONT_DESCENT, W = the widest DWIDTH
of the JIS glyphs, cell S = max(H, W); U = floor((S - H) / 2),
L = floor((S - W) / 2); the BDF pixel x right of the origin and y above the
baseline goes to column x + L, row FONT_ASCENT + U - 1 - y.

One row per font: PIXEL_SIZE, cell, glyphs in the font, dropped (glyphs of
cells without a Unicode value, and how many of those have ink), clipped
(glyphs / ink pixels outside the cell), lost (ink inside a glyph's own cell
that is not in the strike: always 0 unless the cell is forced), kilnfont's
result, OTS, fontTools, FreeType, strike = BDF, seconds. Fonts of other
character sets (ISO 8859, JIS X 0201) are counted after the table. The exit
status is 1 when any font fails a check, 2 on a usage or setup error.

usage: tools/bdfcorpus.py [--build DIR] [-j N] [--markdown] [--keep DIR] [--families] [FONT...]
  FONT: a font's name (jksp24, K12-2004-1), a pattern (shnmk16*) or a
  package name; default: every font of the packages that are installed.
  A FONT that matches no installed font is a failure.
Run it with Debian's /usr/bin/python3 (python3-fonttools, python3-freetype,
python3-numpy); it needs pcf2bdf and ots-sanitize.
"""

import argparse
import concurrent.futures
import ctypes
import filecmp
import fnmatch
import gzip
import logging
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

try:
    import freetype
    import numpy as np
    from fontTools.ttLib import TTFont
except ImportError as e:
    sys.exit("bdfcorpus: %s (run with Debian's /usr/bin/python3: python3-fonttools, python3-freetype, "
             "python3-numpy)" % e)

PACKAGES = ['xfonts-shinonome', 'xfonts-kaname', 'xfonts-mplus', 'xfonts-intl-japanese',
            'xfonts-intl-japanese-big', 'xfonts-jisx0213']

# fontTools warns about what kilnfont does by design: head and OS/2 keep
# their zero padding in their recorded length, and head's dates are 0.
EXPECTED_WARNINGS = ("extra bytes at the end of 'head' table", "too much 'OS/2' table data",
                     "timestamp seems very low")
logging.basicConfig(format='fontTools: %(message)s')
for _h in logging.getLogger().handlers:
    _h.addFilter(lambda rec: not any(w in rec.getMessage() for w in EXPECTED_WARNINGS))

# The 1978 edition of JIS X 0208 has 22 pairs of kanji swapped and 4 kanji
# at other cells than every later edition (and jis_uni.txt).
SWAPS_1978 = [(0x3033, 0x724D), (0x3229, 0x7274), (0x3342, 0x695A), (0x3349, 0x5978), (0x3376, 0x635E),
              (0x3443, 0x5E75), (0x3452, 0x6B5D), (0x375B, 0x7074), (0x395C, 0x6268), (0x3C49, 0x6922),
              (0x3F59, 0x7057), (0x4128, 0x6C4D), (0x445B, 0x5464), (0x4557, 0x626A), (0x456E, 0x5B6D),
              (0x4573, 0x5E39), (0x4676, 0x6D6E), (0x4768, 0x6A24), (0x4930, 0x5B58), (0x4B79, 0x5056),
              (0x4C79, 0x692E), (0x4F36, 0x6446)]
RENUMBER_1978 = dict(SWAPS_1978 + [(b, a) for a, b in SWAPS_1978] +
                     [(0x3646, 0x7421), (0x4B6A, 0x7422), (0x4D5A, 0x7423), (0x6076, 0x7424)])


def charset(registry, encoding):
    """(set, plane) of an XLFD registry and encoding, or None."""
    r, e = registry.lower(), encoding.lower()
    if r in ('jisc6226.1978', 'jisx0208.1978'):
        return '0208-1978', 0
    if r.startswith('jisx0208'):
        return '0208', 0
    if r.startswith('jisx0212'):
        return '0212', 1
    if r in ('jisx0213.2000', 'jisx0213.2004') and e == '1':
        return '0213', 0
    if r == 'jisx0213.2000' and e == '2':
        return '0213', 1
    return None


def installed_fonts():
    """[(package, path)] of every PCF or BDF font of the installed packages,
    and the packages that are not installed."""
    fonts, missing = [], []
    for pkg in PACKAGES:
        run = subprocess.run(['dpkg-query', '-L', pkg], capture_output=True, text=True)
        if run.returncode:
            missing.append(pkg)
            continue
        for path in sorted(run.stdout.split('\n')):
            if re.search(r'\.(pcf|bdf)(\.gz)?$', path) and os.path.isfile(path):
                fonts.append((pkg, path))
    return fonts, missing


def stem(path):
    return re.sub(r'\.(pcf|bdf)(\.gz)?$', '', os.path.basename(path))


def to_bdf(path, work):
    """The font as a BDF file in work."""
    name = stem(path)
    raw = os.path.join(work, name + ('.pcf' if '.pcf' in path else '.bdf'))
    opener = gzip.open if path.endswith('.gz') else open
    with opener(path, 'rb') as src, open(raw, 'wb') as dst:
        shutil.copyfileobj(src, dst)
    if raw.endswith('.bdf'):
        return raw
    bdf = os.path.join(work, name + '.bdf')
    subprocess.run(['pcf2bdf', '-o', bdf, raw], check=True, capture_output=True)
    return bdf


def read_bdf(path):
    """Header values and glyphs [(encoding, dwidth, (w, h, xo, yo), h x w bool array)]."""
    props, glyphs = {}, []
    with open(path, encoding='latin-1') as f:
        lines = f.read().split('\n')
    i = 0
    while i < len(lines) and not lines[i].startswith('CHARS '):
        key, _, value = lines[i].partition(' ')
        props[key] = value.strip().strip('"')
        i += 1
    enc, dw, bbx = -1, None, (0, 0, 0, 0)
    while i < len(lines):
        k = lines[i].split()
        if not k:
            pass
        elif k[0] == 'STARTCHAR':
            enc, dw, bbx = -1, None, (0, 0, 0, 0)
        elif k[0] == 'ENCODING':
            enc = int(k[1])
        elif k[0] == 'DWIDTH':
            dw = int(k[1])
        elif k[0] == 'BBX':
            bbx = tuple(int(v) for v in k[1:5])
        elif k[0] == 'BITMAP':
            w, h = bbx[0], bbx[1]
            rows = lines[i + 1:i + 1 + h]
            bits = np.zeros((h, w), bool)
            if h and w:
                raw = np.frombuffer(bytes.fromhex(''.join(r.strip() for r in rows)), np.uint8).reshape(h, -1)
                bits = np.unpackbits(raw, axis=1)[:, :w].astype(bool)
            glyphs.append((enc, dw if dw is not None else bbx[2] + w, bbx, bits))
            i += h
        i += 1
    return props, glyphs


def read_jis_uni(path):
    """Linear JIS index -> Unicode value (0 = none), as kilnfont reads it."""
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


def info_file(name):
    """A kilnfont info-file for the font: output "corpus", weight 4, and the
    font's name in all 32 name strings that want one."""
    group = ['Converted from the %s bitmap font' % name, name, 'Regular', 'kiln corpus %s' % name, name,
             'Version 1.0', re.sub(r'[^A-Za-z0-9-]', '-', name), '']
    return 'corpus\n4\nKILN\n' + ''.join(s + '\n' for s in group * 4)


def unpack(bm):
    """A FreeType mono bitmap as a rows x width bool array."""
    rows, pitch = bm.rows, bm.pitch
    if rows == 0:
        return np.zeros((0, bm.width), bool)
    raw = np.frombuffer(ctypes.string_at(bm._FT_Bitmap.buffer, rows * pitch), np.uint8).reshape(rows, pitch)
    return np.unpackbits(raw, axis=1)[:, :bm.width].astype(bool)


def expected(props, glyphs, cs, plane, m2u):
    """The cell S and what bdf2pxg should make of the font: {unicode: S x S
    bitmap} of the glyphs kept, dropped glyphs (and with ink), clipped glyphs
    and ink pixels, and for each kept glyph its ink inside its own cell."""
    ascent, descent = int(props['FONT_ASCENT']), int(props['FONT_DESCENT'])
    jis = []
    for enc, dw, bbx, bits in glyphs:
        row, cell = enc >> 8 & 0xFF, enc & 0xFF
        if 0 <= enc <= 0xFFFF and 0x21 <= row <= 0x7E and 0x21 <= cell <= 0x7E:
            code = RENUMBER_1978.get(enc, enc) if cs == '0208-1978' else enc
            jis.append((code, dw, bbx, bits))
    H = ascent + descent
    W = max([dw for _, dw, _, _ in jis], default=0)
    S = max(H, W)
    top, left = ascent + (S - H) // 2, (S - W) // 2
    out = {'S': S, 'glyphs': {}, 'own': {}, 'dropped': 0, 'dropped_ink': 0, 'clipped': 0, 'clipped_px': 0}
    for code, dw, (w, h, xo, yo), bits in jis:
        uni = m2u[plane * 8836 + ((code >> 8) - 0x21) * 94 + (code & 0xFF) - 0x21]
        if not uni:
            out['dropped'] += 1
            out['dropped_ink'] += bool(bits.any())
            continue
        img = np.zeros((S, S), bool)
        ii, jj = np.nonzero(bits)
        ys, xs = yo + h - 1 - ii, xo + jj
        rows, cols = top - 1 - ys, xs + left
        inside = (rows >= 0) & (rows < S) & (cols >= 0) & (cols < S)
        img[rows[inside], cols[inside]] = True
        if (~inside).any():
            out['clipped'] += 1
            out['clipped_px'] += int((~inside).sum())
        box = (xs >= 0) & (xs < dw) & (ys >= -descent) & (ys < ascent)
        own = (rows[box], cols[box])  # cells of the ink inside the glyph's own box
        out['glyphs'][uni] = img
        out['own'][uni] = own
    return out


def check_font(pkg, path, tools, keep):
    """Converts one font and checks it; returns the row (a dict)."""
    start = time.monotonic()
    name = stem(path)
    row = {'font': name, 'package': pkg, 'fails': []}
    work = tempfile.mkdtemp(prefix='kiln-corpus.')
    try:
        bdf = to_bdf(path, work)
        props, glyphs = read_bdf(bdf)
        registry = '%s-%s' % (props.get('CHARSET_REGISTRY', '?'), props.get('CHARSET_ENCODING', '?'))
        row['set'] = registry
        found = charset(props.get('CHARSET_REGISTRY', ''), props.get('CHARSET_ENCODING', ''))
        if not found:
            row['skip'] = True
            return row
        cs, plane = found
        row['px'] = props.get('PIXEL_SIZE', '?')
        table = os.path.join(work, 'jis_uni.txt')
        subprocess.run([tools['mkjisuni']] + (['--jisx0213'] if cs == '0213' else []) + [table],
                       check=True, capture_output=True)
        want = expected(props, glyphs, cs, plane, read_jis_uni(table))
        S = want['S']
        row.update(cell=S, glyphs=len(want['glyphs']), dropped=want['dropped'], dropped_ink=want['dropped_ink'],
                   clipped=want['clipped'], clipped_px=want['clipped_px'])

        # bdf2pxg, and what it says it did.
        pxg = os.path.join(work, name + '.pxg')
        run = subprocess.run([tools['bdf2pxg'], '--map', table, '-o', pxg, bdf], capture_output=True, text=True)
        row['bdf2pxg'] = run.stderr
        if run.returncode:
            row['fails'].append('bdf2pxg: ' + run.stderr.strip().split('\n')[-1])
            row['result'] = 'bdf2pxg fails'
            return row
        said = re.search(r': (\d+) px, plane \d, (\d+) glyphs in \d+ blocks(.*)', run.stderr)
        clip = re.search(r', (\d+) clipped \((\d+) ink pixels?', said.group(3)) if said else None
        drop = re.search(r', (\d+) left out: .*; (\d+) of them with ink', said.group(3)) if said else None
        told = (int(said.group(1)), int(said.group(2)), int(drop.group(1)) if drop else 0,
                int(drop.group(2)) if drop else 0, int(clip.group(1)) if clip else 0,
                int(clip.group(2)) if clip else 0) if said else None
        mine = (S, row['glyphs'], row['dropped'], row['dropped_ink'], row['clipped'], row['clipped_px'])
        if told != mine:
            row['fails'].append('bdf2pxg reports cell, glyphs, dropped, clipped as %s, the BDF gives %s'
                                % (told, mine))

        # kilnfont.
        with open(os.path.join(work, 'font.info'), 'w') as f:
            f.write(info_file(name))
        run = subprocess.run([tools['kilnfont'], 'font.info', os.path.basename(pxg)], cwd=work,
                             capture_output=True, text=True, timeout=600)
        last = run.stdout.rstrip('\n').split('\n')[-1]
        row['result'] = 'complete' if last == 'complete' else last
        if last != 'complete':
            row['fails'].append('kilnfont: ' + last)
            return row
        ttf = os.path.join(work, 'corpus.ttf')
        check_converted(row, ttf, {S: want})
        if keep:
            os.makedirs(keep, exist_ok=True)
            shutil.copy(ttf, os.path.join(keep, name + '.ttf'))
            shutil.copy(pxg, os.path.join(keep, name + '.pxg'))
    except Exception as e:  # a tool that gives up on the font, or a broken file
        row['fails'].append('%s: %s' % (type(e).__name__, e))
        row.setdefault('result', 'error')
    finally:
        shutil.rmtree(work, ignore_errors=True)
        row['seconds'] = time.monotonic() - start
    return row


def check_converted(row, ttf, wants, expand=True):
    """OTS, fontTools, FreeType and the strikes' bitmaps; wants maps each
    strike's size to what expected() gives for it. expand: fontTools
    decompiles every outline too."""
    every = {u for w in wants.values() for u in w['glyphs']}
    run = subprocess.run(['ots-sanitize', ttf, os.devnull], capture_output=True, text=True, timeout=600)
    row['ots'] = 'ok' if run.returncode == 0 else 'fails'
    if run.returncode:
        row['fails'].append('ots-sanitize: ' + (run.stdout + run.stderr).strip()[-300:])

    try:
        font = TTFont(ttf, lazy=False)
        for tag in font.keys():
            table = font[tag]
            if tag == 'glyf' and expand:
                for g in font.getGlyphOrder():
                    table[g].expand(table)
        cmap = font.getBestCmap()
        row['fonttools'] = 'ok'
        if set(cmap) != every:
            row['fonttools'] = 'cmap'
            row['fails'].append('cmap: %d characters, %d kept' % (len(cmap), len(every)))
    except Exception as e:  # a table that does not decompile
        row['fonttools'] = 'fails'
        row['fails'].append('fontTools: %r' % e)

    try:
        face = freetype.Face(ttf)
        sizes = [s.y_ppem >> 6 for s in face.available_sizes]
        row['freetype'] = 'ok' if sorted(sizes) == sorted(wants) else 'strikes %s' % sizes
        if sorted(sizes) != sorted(wants):
            row['fails'].append('FreeType sees strikes %s, not %s' % (sizes, sorted(wants)))
            return
        bad, lost = [], 0
        for S, want in sorted(wants.items()):
            face.set_pixel_sizes(S, S)
            for uni, img in want['glyphs'].items():
                face.load_glyph(face.get_char_index(uni), freetype.FT_LOAD_DEFAULT)
                g = face.glyph
                frame = (g.format, g.bitmap.pixel_mode, g.bitmap.width, g.bitmap.rows, g.bitmap_left, g.bitmap_top)
                if frame != (freetype.FT_GLYPH_FORMAT_BITMAP, freetype.FT_PIXEL_MODE_MONO, S, S, 0, S - 2):
                    bad.append('U+%04X at %d px frame %s' % (uni, S, frame))
                    continue
                got = unpack(g.bitmap)
                rows, cols = want['own'][uni]
                lost += int((~got[rows, cols]).sum())
                if not np.array_equal(got, img):
                    bad.append('U+%04X at %d px' % (uni, S))
        row['bitmaps'] = 'ok' if not bad else '%d differ' % len(bad)
        row['lost'] = lost
        if bad:
            row['fails'].append('%d embedded bitmaps differ from the BDF: %s' % (len(bad), ', '.join(bad[:5])))
        if lost:
            row['fails'].append('%d ink pixels of glyph cells are not in the strike' % lost)
    except Exception as e:  # FreeType cannot open the font
        row['freetype'] = 'fails'
        row['fails'].append('FreeType: %r' % e)


def header(path, work):
    """The properties of a font (its BDF header) and its set, or None."""
    props = {}
    with open(to_bdf(path, work), encoding='latin-1') as f:
        for line in f:
            if line.startswith('CHARS '):
                break
            key, _, value = line.rstrip('\n').partition(' ')
            props[key] = value.strip().strip('"')
    return props, charset(props.get('CHARSET_REGISTRY', ''), props.get('CHARSET_ENCODING', ''))


def font_header(pkg, path):
    work = tempfile.mkdtemp(prefix='kiln-corpus.')
    try:
        return (pkg, path) + header(path, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def family_key(props, found):
    """The fonts bdf2ttf joins into one: one design (foundry, family, added
    style, spacing), weight and slant, and for the 1978 order and JIS X 0213
    their set."""
    p = [props.get(k, '').lower() for k in ('FOUNDRY', 'FAMILY_NAME', 'ADD_STYLE_NAME', 'SPACING', 'WEIGHT_NAME',
                                            'SLANT')]
    return tuple(p) + (found[0] if found[0] in ('0208-1978', '0213') else 'jis',)


def check_family(members, tools, keep):
    """bdf2ttf converts the members [(package, path, props, (set, plane))]
    in one run; returns the row."""
    start = time.monotonic()
    row = {'font': ' '.join(stem(m[1]) for m in members), 'fails': []}
    work = tempfile.mkdtemp(prefix='kiln-corpus.')
    try:
        out = os.path.join(work, 'out')
        os.mkdir(out)
        run = subprocess.run([tools['bdf2ttf'], '-q'] + [m[1] for m in members], cwd=out, capture_output=True,
                             text=True, timeout=600)
        made = os.listdir(out)
        row['result'] = 'ok' if run.returncode == 0 and len(made) == 1 else 'fails'
        if row['result'] != 'ok':
            row['fails'].append('bdf2ttf exit %d, %s, wrote %s' % (run.returncode, run.stderr.strip(), made))
            return row
        ttf = os.path.join(out, made[0])
        # bdf2ttf traces its glyphs in their finished form and keeps them as
        # they are: finishing its font again must change nothing.
        again = os.path.join(work, 'again.ttf')
        subprocess.run([tools['kilnfinish'], ttf, again], check=True, capture_output=True)
        if not filecmp.cmp(ttf, again, shallow=False):
            row['fails'].append('kilnfinish changes the font')
        scan = subprocess.run(['fc-scan', '--format', '%{family[0]}\n%{style[0]}\n', ttf], capture_output=True,
                              text=True, check=True).stdout.split('\n')
        row['family'], row['style'] = scan[0], scan[1]
        props = members[0][2]
        family, style = row['family'].lower(), row['style'].split()
        for k in ('FOUNDRY', 'FAMILY_NAME'):
            if props.get(k, '').lower() not in family:
                row['fails'].append('family "%s" without %s "%s"' % (row['family'], k, props.get(k)))
        bold = 'bold' in props.get('WEIGHT_NAME', '').lower()
        italic = props.get('SLANT', '').lower() in ('i', 'o')
        if ('Bold' in style, 'Italic' in style) != (bold, italic):
            row['fails'].append('style "%s" for WEIGHT_NAME "%s", SLANT "%s"' % (
                row['style'], props.get('WEIGHT_NAME'), props.get('SLANT')))
        copyright = TTFont(ttf)['name'].getDebugName(0) or ''
        if props.get('COPYRIGHT', '') not in copyright:
            row['fails'].append('copyright "%s" without COPYRIGHT "%s"' % (copyright, props.get('COPYRIGHT')))

        # Every strike: the glyphs of the members of its size, as bdf2pxg places them.
        x0213 = any(m[3][0] == '0213' for m in members)
        table = os.path.join(work, 'jis_uni.txt')
        subprocess.run([tools['mkjisuni']] + (['--jisx0213'] if x0213 else []) + [table], check=True,
                       capture_output=True)
        m2u = read_jis_uni(table)
        wants = {}
        for _, path, _, (cs, plane) in members:
            props, glyphs = read_bdf(to_bdf(path, work))
            want = expected(props, glyphs, cs, plane, m2u)
            into = wants.setdefault(want['S'], {'glyphs': {}, 'own': {}})
            into['glyphs'].update(want['glyphs'])
            into['own'].update(want['own'])
        row['strikes'] = ' '.join(str(S) for S in sorted(wants))
        row['glyphs'] = len({u for w in wants.values() for u in w['glyphs']})
        check_converted(row, ttf, wants, expand=False)
        if keep:
            os.makedirs(keep, exist_ok=True)
            shutil.copy(ttf, keep)
    except Exception as e:  # a tool that gives up on the font, or a broken file
        row['fails'].append('%s: %s' % (type(e).__name__, e))
    finally:
        shutil.rmtree(work, ignore_errors=True)
        row['seconds'] = time.monotonic() - start
    return row


FAMILY_COLUMNS = [('family', 'family'), ('style', 'style'), ('font', 'fonts'), ('strikes', 'strikes'),
                  ('glyphs', 'characters'), ('result', 'bdf2ttf'), ('ots', 'OTS'), ('fonttools', 'fontTools'),
                  ('freetype', 'FreeType'), ('bitmaps', 'strikes = BDF'), ('seconds', 's')]


def print_columns(table):
    """Prints rows of strings as aligned columns."""
    width = [max(len(t[k]) for t in table) for k in range(len(table[0]))]
    for t in table:
        print('  '.join(v.ljust(w) for v, w in zip(t, width)).rstrip())


def print_fails(rows):
    """Prints every failure of the rows; returns the rows that failed."""
    failed = [r for r in rows if r['fails']]
    for r in failed:
        for f in r['fails']:
            print('FAIL %s: %s' % (r['font'], f))
    return failed


def families(fonts, tools, jobs, keep):
    """The --families run: prints the table and returns the exit status."""
    start = time.monotonic()
    with concurrent.futures.ProcessPoolExecutor(max_workers=max(1, jobs)) as pool:
        heads = list(pool.map(font_header, [p for p, _ in fonts], [f for _, f in fonts]))
        groups = {}
        for pkg, path, props, found in heads:
            if found:
                groups.setdefault(family_key(props, found), []).append((pkg, path, props, found))
        rows = list(pool.map(check_family, list(groups.values()), [tools] * len(groups), [keep] * len(groups)))
    names = {}
    for r in rows:
        if 'family' in r:
            names.setdefault((r['family'], r['style']), []).append(r['font'])
    for (family, style), which in names.items():
        if len(which) > 1:
            rows[0]['fails'].append('"%s" %s for %s' % (family, style, ' and '.join(which)))
    table = [[t for _, t in FAMILY_COLUMNS]] + [
        [('%.1f' % r[k] if k == 'seconds' else str(r.get(k, '-'))) for k, _ in FAMILY_COLUMNS] for r in rows]
    print_columns(table)
    failed = print_fails(rows)
    print('%d fonts of %d families and styles converted by bdf2ttf and checked, %d failed, %.0f s' % (
        sum(len(g) for g in groups.values()), len(rows), len(failed), time.monotonic() - start))
    return 1 if failed else 0


COLUMNS = [('font', 'font'), ('set', 'set'), ('px', 'PIXEL_SIZE'), ('cell', 'cell'), ('glyphs', 'glyphs'),
           ('dropped', 'dropped (ink)'), ('clipped', 'clipped (px)'), ('lost', 'lost'), ('result', 'kilnfont'),
           ('ots', 'OTS'), ('fonttools', 'fontTools'), ('freetype', 'FreeType'), ('bitmaps', 'strike = BDF'),
           ('seconds', 's')]


def cells(row):
    v = dict(row)
    v['dropped'] = '%d (%d)' % (row['dropped'], row['dropped_ink']) if 'dropped' in row else ''
    v['clipped'] = '%d (%d)' % (row['clipped'], row['clipped_px']) if 'clipped' in row else ''
    v['seconds'] = '%.1f' % row['seconds']
    return [str(v.get(key, '-')) for key, _ in COLUMNS]


def main():
    ap = argparse.ArgumentParser(description='Convert every installed Japanese bitmap font of Debian from BDF '
                                             'and check the results.')
    ap.add_argument('fonts', nargs='*', metavar='FONT',
                    help='font names or patterns (jksp24, shnmk16*) or package names; default: all')
    ap.add_argument('--build', metavar='DIR', help='take kilnfont, bdf2pxg and mkjisuni from this build '
                    'directory (default: the installed commands on PATH)')
    ap.add_argument('-j', '--jobs', type=int, default=1, help='fonts converted at once (default 1)')
    ap.add_argument('--markdown', action='store_true', help='print the table in Markdown')
    ap.add_argument('--keep', metavar='DIR', help='keep each pxg and TrueType font in DIR')
    ap.add_argument('--families', action='store_true', help='convert each family and style with bdf2ttf, '
                    'straight from the installed files')
    args = ap.parse_args()

    if args.build:
        b = os.path.abspath(args.build)
        tools = {'kilnfont': os.path.join(b, 'kilnfont'), 'bdf2pxg': os.path.join(b, 'tools', 'bdf2pxg'),
                 'mkjisuni': os.path.join(b, 'tools', 'mkjisuni'), 'bdf2ttf': os.path.join(b, 'bdf2ttf'),
                 'kilnfinish': os.path.join(b, 'kilnfinish')}
    else:
        tools = {t: shutil.which(t) or t for t in ('kilnfont', 'bdf2pxg', 'mkjisuni', 'bdf2ttf', 'kilnfinish')}
    needed = list(tools.values()) + [shutil.which(t) or t for t in ('pcf2bdf', 'ots-sanitize', 'dpkg-query',
                                                                     'fc-scan')]
    missing = [t for t in needed if not (os.path.isfile(t) and os.access(t, os.X_OK))]
    if missing:
        print('bdfcorpus: not found: %s' % ', '.join(missing), file=sys.stderr)
        return 2

    fonts, absent = installed_fonts()
    if args.fonts:
        unmatched = [pat for pat in args.fonts if not any(fnmatch.fnmatch(stem(f), pat) or p == pat
                                                         for p, f in fonts)]
        if unmatched:
            print('bdfcorpus: no installed font matches %s' % ', '.join(unmatched), file=sys.stderr)
            return 1
        fonts = [(p, f) for p, f in fonts if any(fnmatch.fnmatch(stem(f), pat) or p == pat for pat in args.fonts)]
    if not fonts:
        print('bdfcorpus: no fonts (packages installed: %s)' % ', '.join(sorted(set(PACKAGES) - set(absent))),
              file=sys.stderr)
        return 2

    if args.families:
        return families(fonts, tools, args.jobs, args.keep)
    start = time.monotonic()
    with concurrent.futures.ProcessPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        rows = list(pool.map(check_font, [p for p, _ in fonts], [f for _, f in fonts],
                             [tools] * len(fonts), [args.keep] * len(fonts)))
    jis = [r for r in rows if not r.get('skip')]
    other = [r for r in rows if r.get('skip')]

    table = [[title for _, title in COLUMNS]] + [cells(r) for r in jis]
    if args.markdown:  # for the README: without the timings
        for n, t in enumerate(table):
            print('| ' + ' | '.join(t[:-1]) + ' |')
            if n == 0:
                print('|' + '---|' * (len(COLUMNS) - 1))
    else:
        print_columns(table)
    failed = print_fails(jis)
    if other:
        sets = {}
        for r in other:
            sets[r['set'].upper()] = sets.get(r['set'].upper(), 0) + 1
        print('not JIS X 0208, 0212 or 0213, not converted: %d fonts (%s)' % (
            len(other), ', '.join('%s: %d' % kv for kv in sorted(sets.items()))))
    if absent:
        print('not installed: %s' % ', '.join(absent))
    print('%d fonts converted and checked, %d failed, %.0f s' % (len(jis), len(failed), time.monotonic() - start))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
