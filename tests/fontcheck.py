"""Small independent readers for the font-tool checks: the transfer table,
pxg bitmap files, the info-file, and the table directory of a TrueType file.
None of them shares code with the converter, so a fault in its reader or
writer shows up as a difference here."""

import struct


def read_jis_uni(path):
    """Linear JIS index -> Unicode value (0 = undefined), from jis_uni.txt.
    Line 1 is a count that is not used; every later line holds a JIS code
    (plane << 16 | row << 8 | cell) and a Unicode value, in hex. Lines that
    do not parse or lie outside the grid are skipped."""
    m2u = [0] * 17672
    with open(path, 'rb') as f:
        lines = f.read().split(b'\n')[1:]
    for line in lines:
        parts = line.split()
        if len(parts) < 2:
            continue
        try:
            jis, uni = int(parts[0], 16), int(parts[1], 16)
        except ValueError:
            continue
        plane, row, cell = jis >> 16, (jis >> 8) & 0xFF, jis & 0xFF
        if plane > 1 or not (0x21 <= row <= 0x7E and 0x21 <= cell <= 0x7E):
            continue
        m2u[plane * 8836 + (row - 0x21) * 94 + (cell - 0x21)] = uni & 0xFFFF
    return m2u


def bitmap_bytes(size):
    return (size * size + 7) // 8


def read_pxg(path):
    """The bitmap blocks of one pxg file, as a list of (size, [(code,
    bitmap bytes)]) in file order. The file is MacBinary: the fork lengths
    sit at 83 and 87 of the 128-byte header, the resource fork follows the
    data fork on a 128-byte boundary. The fork's entries ([u32 length]
    [data]) are walked from the data area to the end of the fork; the walk
    ends where a length or an entry's data would run past the fork."""
    with open(path, 'rb') as f:
        data = f.read()
    ld, lr = struct.unpack_from('>II', data, 83)
    fork_at = (ld + 255) & ~127
    fork = data[fork_at:fork_at + lr]
    assert len(fork) == lr, '%s: resource fork runs past the file' % path
    blocks = []
    pos = struct.unpack_from('>I', fork, 0)[0]
    while pos + 4 <= lr:
        length = struct.unpack_from('>I', fork, pos)[0]
        d = pos + 4
        if length > lr - d:
            break
        if fork[d] & 0x20 and fork[d + 2:d + 6] == b'fbit':
            size = fork[d + 27]
            if fork[d + 11] == 0:
                n = fork[d + 37]
                ranges_at = d + 38
                bits_at = fork_at + ranges_at + 6 * n
            else:
                n = fork[d + 101]
                ranges_at = d + 102
                bits_at = 128 + struct.unpack_from('>H', fork, d + 54)[0]
            b = bitmap_bytes(size)
            glyphs = []
            for r in range(n):
                first, _, count = struct.unpack_from('>HHH', fork, ranges_at + 6 * r)
                for code in range(first, first + count):
                    glyphs.append((code, data[bits_at:bits_at + b]))
                    bits_at += b
            blocks.append((size, glyphs))
        pos = d + length
    return blocks


def read_strikes(pxg_paths, m2u):
    """{size: {unicode: bitmap bytes}} over all files in the given order; a
    later bitmap for the same Unicode value in a strike replaces the
    earlier one. Raises on a code without a Unicode value."""
    strikes = {}
    for path in pxg_paths:
        for size, glyphs in read_pxg(path):
            strike = strikes.setdefault(size, {})
            for code, bits in glyphs:
                uni = m2u[code] if code < len(m2u) else 0
                if uni == 0:
                    raise ValueError('%s: pxg code %04x has no Unicode value' % (path, code))
                strike[uni] = bits
    return strikes


def bitmap_rows(bits, size):
    """The S x S bit stream (MSB first, rows not padded) as rows of 0/1."""
    return [[(bits[(y * size + x) >> 3] >> (7 - ((y * size + x) & 7))) & 1 for x in range(size)]
            for y in range(size)]


def read_info_names(path):
    """The 32 name strings of an info-file (lines 4 to 35, last byte
    dropped), as bytes."""
    with open(path, 'rb') as f:
        lines = f.read().split(b'\n')
    return [line for line in lines[3:35]]


def output_name(info_path):
    with open(info_path, 'rb') as f:
        return f.readline().split()[0].decode() + '.ttf'


def font_tables(data):
    """{tag: (checksum, offset, length, bytes)} from a TrueType directory."""
    num = struct.unpack_from('>H', data, 4)[0]
    tables = {}
    for i in range(num):
        tag, csum, off, length = struct.unpack_from('>4sIII', data, 12 + 16 * i)
        tables[tag.decode('latin-1')] = (csum, off, length, data[off:off + length])
    return tables


def hexdiff(a, b, width=16):
    """The first differing lines of two byte strings, for failure messages."""
    out = []
    for at in range(0, max(len(a), len(b)), width):
        x, y = a[at:at + width], b[at:at + width]
        if x != y:
            out.append('%06x  %-48s| %s' % (at, x.hex(' '), y.hex(' ')))
            if len(out) == 8:
                break
    return '\n'.join(out)
