#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Runs kilnfont's test cases, each a text file under tests/cases/.

A case file starts with free text saying what it proves, then sections, each
headed by a line "-- NAME --". Input sections are written into a fresh
directory (which already holds font.info and jis_uni.txt from example/), in
order:
  -- FILE --           the text as it stands
  -- FILE.hex --       bytes: hex tokens, TOKEN*N repeats, "text", @OFFSET
                       pads with zeros up to OFFSET, # comments
  -- FILE.py --        a Python expression (str, bytes, or None to remove FILE);
                       info(...) makes an info-file, bdf(...) a BDF
                       font, grid() a jis_uni.txt for every cell
  -- FILE.copy --      a copy of the named file of the source tree
  -- FILE.bdf2pxg --   bdf2pxg's arguments; @NAME is Debian's BDF font NAME,
                       @NAME:K/N the K-th of N parts of its glyphs
  -- FILE.link --      a symbolic link to the named file
  -- limit --          RLIMIT_FSIZE in bytes for the run (SIGXFSZ ignored)
  -- cores --          the number of cores the run may use (its CPU affinity)
  -- run --            shell commands run in the directory (gzip, bdftopcf)
Then kilnfont runs with each line of -- args -- (every line must give the
same results); a line "bdf2ttf ARGS" runs bdf2ttf instead, where @NAME is
the path of Debian's installed font NAME (.pcf.gz) and @NAME.bdf that font
as BDF. The results are compared:
  -- log --            the whole standard output
  -- stderr --         bdf2ttf's standard error, then "exit N" unless 0
                       (kilnfont must print nothing there)
  -- font --           "none" (no file appears or changes), "FILE unchanged",
                       or "FILE SHA256" for the one file the run writes
  -- hex TAG... --     hex dump of those tables;  -- ttx TAG... -- fontTools' XML
  -- bdf2pxg --        what bdf2pxg printed on standard error (it may then fail)
  -- points --         every outline: "U+XXXX: x,y x,y | x,y ..." per glyph
  -- refused --        what OTS says of a font it refuses, and the tables and
                       glyphs fontTools and FreeType cannot read (by default, none)
  -- check bdf --      every embedded bitmap equals its BDF glyph placed as
                       tools/bdfcorpus.py places it, and every outline at 4x
                       (8x above 127 pixels) has each source pixel centre on
                       its side
Every font written is also read by our own directory reader (tables,
checksums), OTS, fontTools and FreeType, and must carry its MIME type.
--update rewrites the expected sections from what the run gives.
"""
import argparse
import difflib
import glob
import hashlib
import io
import os
import re
import resource
import shlex
import shutil
import signal
import stat
import struct
import subprocess
import sys
import tempfile

try:
    import freetype
    import numpy as np
    from fontTools.ttLib import TTFont
except ImportError as e:
    sys.exit('FAIL: %s (run with Debian\'s python3: python3-fonttools, python3-freetype, python3-numpy)' % e)

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(TOP, 'tools'))
# The BDF reader and bdf2pxg's placement rule, in Python; importing it also
# quiets fontTools' warnings about what kilnfont does by design.
import bdfcorpus  # noqa: E402
EXPECTED = ('log', 'stderr', 'font', 'hex', 'ttx', 'points', 'refused', 'bdf2pxg')


def read_case(path):
    text = open(path, encoding='utf-8').read()
    parts = re.split(r'^-- (.+) --\n', text, flags=re.M)
    return parts[0], [(parts[i], parts[i + 1]) for i in range(1, len(parts), 2)]


def hexbytes(text):
    out = bytearray()
    for tok in re.sub(r'#.*', '', text).split():
        if tok.startswith('"'):
            out += tok.strip('"').encode()
        elif tok.startswith('@'):
            at = int(tok[1:], 0)
            assert at >= len(out), 'hex: %s is behind position %d' % (tok, len(out))
            out += bytes(at - len(out))
        else:
            hx, _, n = tok.partition('*')
            out += bytes.fromhex(hx) * int(n or 1)
    return bytes(out)


def bdf(size, glyphs, registry='JISX0208.1983'):
    """A BDF font of pixel size S, baseline 2 rows above the cell's bottom;
    glyphs maps a JIS code (row << 8 | cell) to S rows of '#' (ink) and '.',
    or to a number that picks a pattern."""
    out = ['STARTFONT 2.1', 'FONT -kiln-test', 'SIZE %d 72 72' % size, 'FONTBOUNDINGBOX %d %d 0 -2' % (size, size),
           'STARTPROPERTIES 4', 'PIXEL_SIZE %d' % size, 'FONT_ASCENT %d' % (size - 2), 'FONT_DESCENT 2',
           'CHARSET_REGISTRY "%s"' % registry, 'ENDPROPERTIES', 'CHARS %d' % len(glyphs)]
    for code, art in glyphs.items():
        if isinstance(art, int):  # a pattern of its own for each number
            art = ' '.join(''.join('#' if (art * 7919 + r * 104729 + c * 1299709) % 97 < 40 else '.'
                                   for c in range(size)) for r in range(size))
        out += ['STARTCHAR %04x' % code, 'ENCODING %d' % code, 'SWIDTH 1000 0', 'DWIDTH %d 0' % size,
                'BBX %d %d 0 -2' % (size, size), 'BITMAP']
        for row in art.split():
            bits = int(row.replace('#', '1').replace('.', '0'), 2) << (-size % 8)
            out.append('%0*X' % ((size + 7) // 8 * 2, bits))
        out.append('ENDCHAR')
    return '\n'.join(out + ['ENDFONT']) + '\n'


def grid(base=0x3000):
    """A jis_uni.txt that maps each of the 17,672 cells, in code order, to base + its code."""
    return '17672\n' + ''.join('%x %x\n' % (k // 8836 << 16 | (k % 8836 // 94 + 0x21) << 8 | k % 94 + 0x21, base + k)
                                for k in range(17672))


def info(out='out', weight='4', vendor='KILN', names=()):
    """An info-file: output name, weight, vendor id, and 32 names ("name00"..
    unless given, as text or as bytes)."""
    lines = [out, weight, vendor] + ['name%02d' % k for k in range(32)]
    for k, v in dict(names).items():
        lines[3 + k] = v
    return b''.join((l if isinstance(l, bytes) else l.encode()) + b'\n' for l in lines)


class Runner:
    def __init__(self, args):
        self.a, self.failed, self.bdfcache, self.checked = args, [], {}, {}
        self.tmp = tempfile.mkdtemp(prefix='kiln-cases.')

    def fail(self, case, msg):
        self.failed.append(case)
        print('FAIL %s: %s' % (case, msg), flush=True)

    def system_bdf(self, font):
        """@shnmk16 or @shnmk16:K/N: a Debian PCF font as BDF, or a part of it."""
        name, _, part = font[1:].partition(':')
        if name not in self.bdfcache:
            pcf = glob.glob('/usr/share/fonts/X11/*/%s.pcf.gz' % name)
            assert pcf, 'font %s is not installed' % name
            path = os.path.join(self.tmp, name + '.bdf')
            raw = subprocess.run(['gzip', '-dc', pcf[0]], capture_output=True, check=True).stdout
            subprocess.run(['pcf2bdf', '-o', path], input=raw, check=True)
            self.bdfcache[name] = path
        if not part:
            return self.bdfcache[name]
        k, n = map(int, part.split('/'))
        text = open(self.bdfcache[name]).read()
        chars = re.findall(r'^STARTCHAR.*?^ENDCHAR\n', text, re.M | re.S)
        mine = chars[len(chars) * k // n:len(chars) * (k + 1) // n]
        head = re.sub(r'^CHARS \d+', 'CHARS %d' % len(mine), text[:text.index('STARTCHAR')], flags=re.M)
        path = os.path.join(self.tmp, '%s-%d-%d.bdf' % (name, k, n))
        open(path, 'w').write(head + ''.join(mine) + 'ENDFONT\n')
        return path

    def installed(self, arg, bdfs):
        """@NAME: Debian's installed font NAME; @NAME.bdf: that font as BDF.
        Either one's BDF goes to the fonts that -- check bdf -- reads."""
        name = arg[1:].removesuffix('.bdf')
        bdfs.append(self.system_bdf('@' + name))
        return bdfs[-1] if arg.endswith('.bdf') else glob.glob('/usr/share/fonts/X11/*/%s.pcf.gz' % name)[0]

    def prepare(self, work, sections):
        shutil.copy(os.path.join(TOP, 'example', 'example.info'), os.path.join(work, 'font.info'))
        shutil.copy(os.path.join(TOP, 'example', 'jis_uni.txt'), work)
        bdfs, limit, tools = [], None, ''
        for name, body in sections:
            os.makedirs(os.path.dirname(os.path.join(work, name)), exist_ok=True)
            kind = name.rsplit('.', 1)[-1]
            kind = kind if kind in ('hex', 'py', 'copy', 'bdf2pxg', 'link') else ''
            target = os.path.join(work, name[:-len(kind) - 1] if kind else name)
            if name == 'limit':
                limit = int(body)
            elif name.split()[0] in EXPECTED + ('args', 'check', 'cores'):
                continue
            elif name == 'run':
                subprocess.run(body, shell=True, cwd=work, check=True, capture_output=True)
            elif kind == 'hex':
                open(target, 'wb').write(hexbytes(body))
            elif kind == 'py':
                data = eval(body, {'info': info, 'bdf': bdf, 'grid': grid})
                if data is None:
                    os.remove(target)
                else:
                    open(target, 'wb').write(data.encode('utf-8', 'surrogateescape') if isinstance(data, str) else data)
            elif kind == 'link':
                os.symlink(body.strip(), target)
            elif kind == 'copy':
                shutil.copy(os.path.join(TOP, body.strip()), target)
            elif kind == 'bdf2pxg':
                args = [self.system_bdf(t) if t.startswith('@') else t for t in shlex.split(body)]
                bdfs += [os.path.join(work, t) for t in args if t.endswith('.bdf')]
                run = subprocess.run([self.a.bdf2pxg] + args + ['-o', target], cwd=work, capture_output=True, text=True)
                tools += run.stderr.replace(self.tmp, '')
                assert run.returncode == 0 or 'bdf2pxg' in dict(sections), 'bdf2pxg: ' + run.stderr
            else:
                open(target, 'w').write(body)
        return bdfs, limit, tools

    def run_case(self, path):
        name = os.path.relpath(path, os.path.join(TOP, 'tests', 'cases'))
        comment, sections = read_case(path)
        got = {}
        arglines = [l for s, b in sections if s == 'args' for l in b.split('\n')[:-1]] or ['']
        for args in arglines:
            work = tempfile.mkdtemp(dir=self.tmp)
            bdfs, limit, tools = self.prepare(work, sections)
            cores = int(dict(sections).get('cores', 0))
            before = files_in(work)

            def limits():
                signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
                if limit is not None:
                    resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
                if cores:
                    os.sched_setaffinity(0, range(cores))
            argv = shlex.split(args)
            if argv[:1] == ['bdf2ttf']:
                argv = [self.a.bdf2ttf] + [self.installed(a, bdfs) if a.startswith('@') else a for a in argv[1:]]
            else:
                argv = [self.a.kilnfont] + argv
            # bdf2ttf finishes its fonts, stamped with SOURCE_DATE_EPOCH when
            # set (else with the inputs' times, which differ run to run here).
            self.finished = argv[0] == self.a.bdf2ttf
            run = subprocess.run(argv, cwd=work, capture_output=True, timeout=300, preexec_fn=limits,
                                 env=dict(os.environ, SOURCE_DATE_EPOCH='1700000000'))
            out = {'log': run.stdout.decode('latin-1'), 'bdf2pxg': tools}
            if argv[0] == self.a.bdf2ttf:
                out['stderr'] = run.stderr.decode('latin-1') + ('exit %d\n' % run.returncode if run.returncode else '')
            elif run.returncode or run.stderr:
                self.fail(name, 'kilnfont exit %d, stderr %r' % (run.returncode, run.stderr[-500:]))
            after = files_in(work)
            changed = sorted(f for f in after if before.get(f) != after[f])
            font = None
            if not changed:
                unchanged = [f for f in before if f.endswith('.ttf')]
                out['font'] = '%s unchanged\n' % unchanged[0] if unchanged else 'none\n'
            elif len(changed) == 1:
                font = os.path.join(work, changed[0])
                data = open(font, 'rb').read()
                out['font'] = '%s %s\n' % (changed[0], hashlib.sha256(data).hexdigest())
            else:
                out['font'] = 'files changed: %s\n' % ' '.join(changed)
            for s, body in sections:
                kind, *tags = s.split()
                if font and kind in ('hex', 'ttx', 'points'):
                    out[s] = dump(font, kind, tags)
                elif kind == 'check' and font and 'bdf' in tags:
                    self.check_bdf(name, font, bdfs, work)
            if font:
                out['refused'] = self.validate(name, font, data)
            for s, text in out.items():
                if s in got and got[s] != text:
                    self.fail(name, '%s differs between argument lines' % s)
                got.setdefault(s, text)
            shutil.rmtree(work)
        wanted = [s for s, _ in sections if s.split()[0] in EXPECTED]
        for s, body in sections:
            if s in wanted and s in got and got[s] != body and not self.a.update:
                diff = difflib.unified_diff(body.splitlines(True), got[s].splitlines(True), 'expected', 'got', n=2)
                self.fail(name, '%s differs:\n%s' % (s, ''.join(list(diff)[:60])))
        for s in ('log', 'font'):
            if s not in wanted and not self.a.update:
                self.fail(name, 'no -- %s -- section' % s)
        if got.get('stderr') and 'stderr' not in wanted:
            self.fail(name, 'stderr: ' + got['stderr'])
        if got.get('refused') and 'refused' not in wanted:
            self.fail(name, 'refused: ' + got['refused'])
        if self.a.update:
            expected = dict(sections)
            expected.update({s: got[s] for s in got if s in wanted or s in ('log', 'font')})
            order = [s for s, _ in sections] + [s for s in ('log', 'font') if s not in wanted]
            with open(path, 'w', encoding='utf-8') as f:
                f.write(comment + ''.join('-- %s --\n%s' % (s, expected[s]) for s in order))

    def validate(self, name, path, data):
        """Our own reading of the directory, then OTS, fontTools and FreeType."""
        problems = check_directory(data, padded=not self.finished)
        mask = os.umask(0)
        os.umask(mask)
        st = os.lstat(path)
        if not stat.S_ISREG(st.st_mode) or st.st_mode & 0o7777 != 0o666 & ~mask:
            problems.append('not a regular file of mode %o' % (0o666 & ~mask))
        mime = os.getxattr(path, 'user.mime_type') if 'user.mime_type' in os.listxattr(path) else None
        if mime != b'application/x-truetype':
            problems.append('MIME type %r' % mime)
        ots = subprocess.run(['ots-sanitize', path], capture_output=True, text=True)
        refused = '' if ots.returncode == 0 else ots.stdout + ots.stderr
        font = TTFont(path, lazy=False)
        for tag in font.keys():
            try:
                font[tag]
                if tag == 'glyf':
                    for g in font.getGlyphOrder():
                        font['glyf'][g].expand(font['glyf'])
            except Exception as e:
                refused += 'fontTools: %s: %r\n' % (tag, e)
        face = freetype.Face(path)  # a font whose glyf is empty is a bitmap font to FreeType
        face.set_pixel_sizes(0, 64) if face.is_scalable else face.num_fixed_sizes and face.select_size(0)
        for gid in range(face.num_glyphs):
            try:
                face.load_glyph(gid, freetype.FT_LOAD_NO_BITMAP if face.is_scalable else freetype.FT_LOAD_DEFAULT)
            except freetype.FT_Exception as e:
                refused += 'FreeType: glyph %d: %s\n' % (gid, e)
        for p in problems:
            self.fail(name, p)
        return refused

    def check_bdf(self, name, path, bdfs, work):
        """Each BDF glyph at its Unicode value: the strike of its size holds
        it pixel for pixel, and the outline (traced from the largest strike
        holding it) rendered at 4x or 8x has every pixel centre on its side."""
        m2u = bdfcorpus.read_jis_uni(os.path.join(work, 'jis_uni.txt'))
        strikes = {}
        for b in bdfs:
            props, glyphs = bdfcorpus.read_bdf(b)
            cs, plane = bdfcorpus.charset(props.get('CHARSET_REGISTRY', ''), props.get('CHARSET_ENCODING', ''))
            want = bdfcorpus.expected(props, glyphs, cs, plane, m2u)
            strikes.setdefault(want['S'], {}).update(want['glyphs'])
        face = freetype.Face(path)
        bad = []
        with_bitmaps = 'EBLC' in TTFont(path)
        for size, glyphs in sorted(strikes.items()):
            if not with_bitmaps:
                break
            face.set_pixel_sizes(size, size)
            for u, want in glyphs.items():
                face.load_glyph(face.get_char_index(u))
                g = face.glyph
                frame = (g.bitmap.width, g.bitmap.rows, g.bitmap_left, g.bitmap_top)
                # horiBearingY, S - 2, is a signed byte: above 129 pixels it wraps.
                if frame != (size, size, 0, (size - 2 + 128) % 256 - 128) or \
                        not np.array_equal(bdfcorpus.unpack(g.bitmap), want):
                    bad.append('U+%04X at %d px: frame %s, rows differing %s' % (
                        u, size, frame, np.nonzero((bdfcorpus.unpack(g.bitmap)[:size, :size] != want).any(1))[0]
                        if frame[:2] == (size, size) else '-'))
        source = {}
        for size in sorted(strikes, reverse=True):
            for u, bits in strikes[size].items():
                source.setdefault(u, (size, bits))
        key = hashlib.sha256(b''.join(TTFont(path).reader[t] for t in ('glyf', 'loca'))).hexdigest()
        if self.checked.setdefault(key, name) == name:
            for size in sorted({s for s, _ in source.values()}):
                # Coordinates are whole font units: above 127 pixels a pixel is
                # under 8 units, and 4x no longer leaves room for the rounding.
                k = 4 if size < 128 else 8
                face.set_pixel_sizes(0, k * size)
                c = np.arange(size)
                px = np.floor(990.0 * (c + 0.5) / size * k * size / 1000.0).astype(int)
                py = np.floor((899.0 - 990.0 * (c + 1.5) / size) * k * size / 1000.0).astype(int)
                for u in sorted(u for u, (s, _) in source.items() if s == size):
                    face.load_glyph(face.get_char_index(u), freetype.FT_LOAD_RENDER | freetype.FT_LOAD_NO_HINTING
                                    | freetype.FT_LOAD_NO_BITMAP | freetype.FT_LOAD_TARGET_MONO)
                    g, img = face.glyph, bdfcorpus.unpack(face.glyph.bitmap)
                    rows, cols = np.meshgrid(g.bitmap_top - 1 - py, px - g.bitmap_left, indexing='ij')
                    inside = (rows >= 0) & (rows < img.shape[0]) & (cols >= 0) & (cols < img.shape[1])
                    seen = np.zeros((size, size), bool)
                    seen[inside] = img[rows[inside], cols[inside]]
                    wrong = np.argwhere(seen != source[u][1])
                    if len(wrong):
                        bad.append('U+%04X outline at %dx: %s' % (u, k, ' '.join('%s(%d,%d)' % (
                            'ink' if source[u][1][r, c] else 'blank', r, c) for r, c in wrong[:4])))
        if bad:
            self.fail(name, '%d glyphs differ from the BDF: %s' % (len(bad), '; '.join(bad[:6])))


def files_in(top):
    """{path: bytes} of every file under top, symbolic links read through."""
    return {os.path.relpath(os.path.join(d, f), top): open(os.path.join(d, f), 'rb').read()
            for d, _, names in os.walk(top) for f in names}


def check_directory(data, padded=True):
    """Header, tags ascending, tables contiguous and 4-aligned, each checksum
    (head's with checkSumAdjustment as 0), and the whole file's sum. kilnfont
    counts each table's padding in its length (padded); a finished font
    records the exact length, followed by zero padding."""
    def sum32(b):
        return sum(struct.unpack('>%dI' % (len(b) // 4), b[:len(b) // 4 * 4])) & 0xFFFFFFFF
    problems = []
    version, num, srange, sel, shift = struct.unpack_from('>IHHHH', data + bytes(12))
    p = 1 << max(num.bit_length() - 1, 0)
    if (version, srange, sel, shift) != (0x10000, 16 * p, p.bit_length() - 1, 16 * (num - p)):
        problems.append('offset subtable %s' % [version, num, srange, sel, shift])
    at, tags = 12 + 16 * num, []
    for i in range(num):
        tag, csum, off, length = struct.unpack_from('>4sIII', data, 12 + 16 * i)
        tags.append(tag)
        whole = length if padded else (length + 3) & ~3
        body = data[off:off + whole]
        summed = body[:8] + bytes(4) + body[12:] if tag == b'head' else body
        if off != at or whole % 4 or len(body) != whole or any(body[length:]) or sum32(summed) != csum:
            problems.append('%s at %d (expected %d), length %d, checksum %08x (sums to %08x)' % (
                tag, off, at, length, csum, sum32(summed)))
        at = off + whole
    if tags != sorted(set(tags)) or at != len(data) or sum32(data) != 0xB1B0AFBA:
        problems.append('tags %s, tables end at %d of %d, file sum %08x' % (tags, at, len(data), sum32(data)))
    return problems


def dump(path, kind, tags):
    font = TTFont(path)
    if kind == 'hex':
        out = []
        for t in tags:
            raw = font.reader[t]
            out.append('%s %d\n' % (t, len(raw)))
            out += ['%s\n' % raw[k:k + 16].hex(' ') for k in range(0, len(raw), 16)]
        return ''.join(out)
    if kind == 'ttx':
        f = io.StringIO()
        font.saveXML(f, tables=tags, newlinestr='\n')
        return re.sub(r' ttLibVersion="[^"]*"', '', f.getvalue())
    cmap, glyf, out = {v: k for k, v in font.getBestCmap().items()}, font['glyf'], []
    for g in font.getGlyphOrder():
        coords, ends, _ = glyf[g].getCoordinates(glyf)
        if len(coords):
            contours, start = [], 0
            for e in ends:
                contours.append(' '.join('%d,%d' % tuple(p) for p in coords[start:e + 1]))
                start = e + 1
            out.append('U+%04X: %s\n' % (cmap.get(g, 0), ' | '.join(contours)))
    return ''.join(out)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--kilnfont', required=True)
    ap.add_argument('--bdf2pxg', required=True)
    ap.add_argument('--bdf2ttf', required=True)
    ap.add_argument('--update', action='store_true')
    ap.add_argument('cases', nargs='+', help='case files, or folders of them')
    args = ap.parse_args()
    args.kilnfont, args.bdf2pxg, args.bdf2ttf = map(os.path.abspath, (args.kilnfont, args.bdf2pxg, args.bdf2ttf))
    r = Runner(args)
    files = sorted(f for c in args.cases for f in ([c] if os.path.isfile(c) else glob.glob(c + '/**/*.txt', recursive=True)))
    try:
        for f in files:
            try:
                r.run_case(f)
            except Exception as e:
                r.fail(os.path.basename(f), '%s: %s' % (type(e).__name__, e))
    finally:
        shutil.rmtree(r.tmp, ignore_errors=True)
    print('%d cases, %d failed' % (len(files), len(set(r.failed))))
    return 1 if r.failed else 0


if __name__ == '__main__':
    sys.exit(main())
