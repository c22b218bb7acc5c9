#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times the full conversion of the Shinonome gothic 12 + 14 + 16 px set (the
# example font: 6879 characters, three strikes) by kilnfont and by the tools a
# user would reach for today, in one run:
#   kilnfont    pxg -> outlines traced from the 16 px bitmaps + three strikes
#   floor       bench/floor: reads kilnfont's input files whole and writes a
#               file as long as its font, nothing else
#   FontForge   BDF import of the three sizes, autotrace (potrace) of the
#               16 px bitmaps, TrueType with the three strikes
#   fonttosfnt  BDF -> bitmap-only TrueType with the three strikes
# and prints each median wall time, the ratios to kilnfont, and peak RSS.
# Then the same from the fonts as Debian installs them (shnmk12/14/16.pcf.gz)
# in one run of their own:
#   bdf2ttf     PCF -> named font, outlines + three strikes, as kilnfont
#   floor       reads the three .pcf.gz files whole and writes a file as
#               long as bdf2ttf's font
#   fonttosfnt  PCF -> bitmap-only TrueType with the three strikes, given
#               the PCFs uncompressed (from the .pcf.gz files FreeType's gzip
#               reader makes it take minutes: 96 s here)
# (bench/floor.sh runs kilnfont and the floor alone, on all cores and on one.)
#
#   usage: bench/compare.sh [build-dir]      (default: build)
#   env:   RUNS (kilnfont, floor, fonttosfnt; default 30), FF_RUNS (FontForge,
#          minutes each; default 3; 0 leaves it out)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$root" && realpath -m "${1:-build}")"
runs="${RUNS:-30}" ff_runs="${FF_RUNS:-3}"
fonts=/usr/share/fonts/X11/misc
py=/usr/bin/python3

# The peers and the timing tools, from Debian when they are missing.
need=()
for t in hyperfine:hyperfine fonttosfnt:xfonts-utils fontforge:fontforge-nox potrace:potrace pcf2bdf:pcf2bdf \
         /usr/bin/time:time; do
  command -v "${t%%:*}" >/dev/null || need+=("${t#*:}")
done
[ -e "$fonts/shnmk16.pcf.gz" ] || need+=(xfonts-shinonome)
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    apt-get install -y --no-install-recommends "${need[@]}" >/dev/null
  else
    echo "compare.sh: missing ${need[*]} (apt-get install ${need[*]})" >&2
    exit 1
  fi
fi

. "$root/bench/build.sh"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/kiln"
cp "$root"/example/{example.info,jis_uni.txt,gothic12.pxg,gothic14.pxg,gothic16.pxg} "$work/kiln"
for s in 12 14 16; do
  gzip -dc "$fonts/shnmk$s.pcf.gz" >"$work/shnmk$s.pcf"
  pcf2bdf -o "$work/shnmk$s.bdf" "$work/shnmk$s.pcf"
done

# FontForge: the 16 px BDF opens the font (one glyph per character, a Unicode
# cmap), 12 and 14 px join as strikes, 16 px goes to the glyphs' backgrounds
# too, where autotrace (potrace) turns it into outlines.
cat >"$work/ff.py" <<'EOF'
import sys, fontforge
work = sys.argv[1]
f = fontforge.open(work + '/shnmk16.bdf')
f.importBitmaps(work + '/shnmk12.bdf')
f.importBitmaps(work + '/shnmk14.bdf')
f.importBitmaps(work + '/shnmk16.bdf', True)
f.selection.all()
f.autoTrace()
f.generate(work + '/ff.ttf', bitmap_type='ttf')
EOF

# kilnfont, the floor and fonttosfnt: hyperfine, no shell in between.
inputs="example.info jis_uni.txt gothic12.pxg gothic14.pxg gothic16.pxg"
(cd "$work/kiln" && "$kiln" example.info gothic12.pxg gothic14.pxg gothic16.pxg >/dev/null)
size=$(stat -c %s "$work/kiln/kilnexample.ttf")
(cd "$work/kiln" && hyperfine -N --warmup 3 --runs "$runs" --export-json "$work/fast.json" \
   -n kilnfont "$kiln example.info gothic12.pxg gothic14.pxg gothic16.pxg" \
   -n floor "$floor $size floor.out $inputs" \
   -n fonttosfnt "fonttosfnt -o $work/fts.ttf $work/shnmk12.bdf $work/shnmk14.bdf $work/shnmk16.bdf" >&2)

# From the installed PCF fonts: bdf2ttf, its floor and fonttosfnt.
pcfs="$fonts/shnmk12.pcf.gz $fonts/shnmk14.pcf.gz $fonts/shnmk16.pcf.gz"
mkdir "$work/pcf"
(cd "$work/pcf" && "$b2t" -q -o b2t.ttf $pcfs)
b2tsize=$(stat -c %s "$work/pcf/b2t.ttf")
(cd "$work/pcf" && hyperfine -N --warmup 3 --runs "$runs" --export-json "$work/pcf.json" \
   -n bdf2ttf "$b2t -q -o b2t.ttf $pcfs" \
   -n floor "$floor $b2tsize floor.out $pcfs" \
   -n fonttosfnt "fonttosfnt -o $work/ftsp.ttf $work/shnmk12.pcf $work/shnmk14.pcf $work/shnmk16.pcf" >&2)

# Peak RSS of one run each; FontForge's runs (minutes each) are timed here.
rss() { /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" >/dev/null 2>&1; cat "$work/time.txt"; }
(cd "$work/kiln" && rss "$kiln" example.info gothic12.pxg gothic14.pxg gothic16.pxg) >"$work/kiln.rss"
(cd "$work/kiln" && rss "$floor" "$size" floor.out $inputs) >"$work/floor.rss"
rss fonttosfnt -o "$work/fts.ttf" "$work"/shnmk{12,14,16}.bdf >"$work/fts.rss"
: >"$work/ff.runs"
for _ in $(seq "$ff_runs"); do
  rss fontforge -quiet -lang=py -script "$work/ff.py" "$work" >>"$work/ff.runs"
  echo "FontForge run: $(tail -1 "$work/ff.runs") (s, KiB)" >&2
done

"$py" - "$work" <<'EOF'
import json, logging, os, statistics, sys
from fontTools.ttLib import TTFont
logging.disable(logging.WARNING)  # fontTools' notes on head padding and dates
work = sys.argv[1]
fast = {r['command']: r for r in json.load(open(work + '/fast.json'))['results']}
med = {k: statistics.median(r['times']) for k, r in fast.items()}
rss = {k: int(open('%s/%s.rss' % (work, f)).read().split()[1])
       for k, f in (('kilnfont', 'kiln'), ('floor', 'floor'), ('fonttosfnt', 'fts'))}
ff = [tuple(map(float, l.split())) for l in open(work + '/ff.runs')]
if ff:
    med['FontForge'] = statistics.median(t for t, _ in ff)
    rss['FontForge'] = int(max(m for _, m in ff))

def outlines(path):
    f = TTFont(path)
    strikes = [s.bitmapSizeTable.ppemY for s in f['EBLC'].strikes] if 'EBLC' in f else []
    drawn = sum(1 for g in f.getGlyphOrder() if 'glyf' in f and f['glyf'][g].numberOfContours > 0)
    return len(f.getBestCmap()), drawn, strikes

out = {'kilnfont': work + '/kiln/kilnexample.ttf', 'FontForge': work + '/ff.ttf', 'fonttosfnt': work + '/fts.ttf'}
def wall(t):
    return '%.1f ms' % (t * 1000) if t < 10 else '%.0f s' % t

cpu = next(l.split(':', 1)[1].strip() for l in open('/proc/cpuinfo') if l.startswith('model name'))
print('machine: %d cores, %s; load average %s' % (os.cpu_count(), cpu, open('/proc/loadavg').read().split()[0]))
print('| tool | median wall | vs kilnfont | peak RSS | characters | glyphs with outlines | strikes |')
print('|---|---|---|---|---|---|---|')
print('| floor | %s | %.2fx | %.1f MiB | | | |' % (wall(med['floor']), med['floor'] / med['kilnfont'], rss['floor'] / 1024))
for k in ('kilnfont', 'FontForge', 'fonttosfnt'):
    if k not in med:
        continue
    chars, drawn, strikes = outlines(out[k])
    print('| %s | %s | %.1fx | %.1f MiB | %d | %d | %s |' % (
        k, wall(med[k]), med[k] / med['kilnfont'], rss[k] / 1024, chars, drawn,
        ' '.join(map(str, strikes))))
print('kilnfont / floor: %.2f' % (med['kilnfont'] / med['floor']))
print('runs: kilnfont, floor and fonttosfnt %d each (hyperfine), FontForge %d' % (len(fast['kilnfont']['times']), len(ff)))

# From the installed PCF fonts.
pcf = {r['command']: r['times'] for r in json.load(open(work + '/pcf.json'))['results']}
pm = {k: statistics.median(t) for k, t in pcf.items()}
print()
print('From the installed fonts (shnmk12/14/16.pcf.gz):')
print('| tool | median wall (min) | vs bdf2ttf | characters | glyphs with outlines | strikes |')
print('|---|---|---|---|---|---|')
print('| floor | %s (%s) | %.2fx | | | |' % (wall(pm['floor']), wall(min(pcf['floor'])), pm['floor'] / pm['bdf2ttf']))
for k, path in (('bdf2ttf', work + '/pcf/b2t.ttf'), ('fonttosfnt', work + '/ftsp.ttf')):
    chars, drawn, strikes = outlines(path)
    print('| %s | %s (%s) | %.1fx | %d | %d | %s |' % (k, wall(pm[k]), wall(min(pcf[k])), pm[k] / pm['bdf2ttf'], chars,
                                                    drawn, ' '.join(map(str, strikes))))
print('bdf2ttf / floor: %.2f; fonttosfnt / bdf2ttf: %.2f' % (pm['bdf2ttf'] / pm['floor'], pm['fonttosfnt'] / pm['bdf2ttf']))
EOF
