#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# kilnfont against the physical floor on the example font (gothic 12 + 14 +
# 16 px, 6879 characters): the floor program reads the same input files
# whole and writes a file as long as the font, nothing else. Both run side by
# side in one hyperfine run on all the machine's cores, then in a second run
# pinned to one core (taskset -c 0); prints the medians and kilnfont / floor.
# The same for bdf2ttf and its floor on the Shinonome gothic .pcf.gz files,
# when they are installed (xfonts-shinonome). What the extra cores save
# tells the part of the run that is shared out from the part that is not:
# with t1 on one core and tn on n, the shared part takes about
# (t1 - tn) * n / (n - 1) on one core, and what is left of tn runs on one
# core whatever the number of cores.
#
#   usage: bench/floor.sh [build-dir]      (default: build)
#   env:   RUNS (per command and run; default 100), KILN_ARGS (e.g. -n)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$root" && realpath -m "${1:-build}")"
runs="${RUNS:-100}"
for t in hyperfine taskset; do
  command -v "$t" >/dev/null || { echo "floor.sh: $t is missing" >&2; exit 1; }
done

. "$root/bench/build.sh"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
inputs="example.info jis_uni.txt gothic12.pxg gothic14.pxg gothic16.pxg"
for f in $inputs; do cp "$root/example/$f" "$work/"; done
cd "$work"
args="${KILN_ARGS:+$KILN_ARGS }example.info gothic12.pxg gothic14.pxg gothic16.pxg"
"$kiln" $args >/dev/null
size=$(stat -c %s kilnexample.ttf)
fonts=/usr/share/fonts/X11/misc
pcfs=""
if [ -e "$fonts/shnmk16.pcf.gz" ]; then
  pcfs="$fonts/shnmk12.pcf.gz $fonts/shnmk14.pcf.gz $fonts/shnmk16.pcf.gz"
  "$b2t" -q -o b2t.ttf $pcfs
  b2tsize=$(stat -c %s b2t.ttf)
fi

load="$(cut -d' ' -f1-3 /proc/loadavg)"
for cores in all one; do
  pin=()
  [ "$cores" = one ] && pin=(taskset -c 0)
  "${pin[@]}" hyperfine -N --warmup 10 --runs "$runs" --export-json "$work/$cores.json" \
    -n kilnfont "$kiln $args" -n floor "$floor $size floor.out $inputs" >&2
  [ -z "$pcfs" ] || "${pin[@]}" hyperfine -N --warmup 10 --runs "$runs" --export-json "$work/$cores-pcf.json" \
    -n bdf2ttf "$b2t -q -o b2t.ttf $pcfs" -n floor "$floor $b2tsize floor.out $pcfs" >&2
done

/usr/bin/python3 - "$work" "$size" "$load" "$(nproc)" <<'PY'
import json, os, statistics, sys
work, size, load, cores = sys.argv[1:]
cpu = next(l.split(':', 1)[1].strip() for l in open('/proc/cpuinfo') if l.startswith('model name'))
print('machine: %s cores, %s; load average before the runs: %s' % (cores, cpu, load))
print('font: %s bytes' % size)
def table(cmd, suffix):
    print('| cores | %s median (min) | floor median (min) | %s / floor |' % (cmd, cmd))
    print('|---|---|---|---|')
    med = {}
    for name, label in (('all', '%s (all)' % cores), ('one', '1 (taskset -c 0)')):
        r = {x['command']: x['times'] for x in json.load(open('%s/%s%s.json' % (work, name, suffix)))['results']}
        k, f = statistics.median(r[cmd]), statistics.median(r['floor'])
        med[name] = (k, f)
        print('| %s | %.2f ms (%.2f) | %.2f ms (%.2f) | %.2f |' % (
            label, k * 1e3, min(r[cmd]) * 1e3, f * 1e3, min(r['floor']) * 1e3, k / f))
    n = int(cores)
    if n > 1:
        (tn, fn), (t1, _) = med['all'], med['one']
        shared = max(0.0, t1 - tn) * n / (n - 1)
        alone = tn - shared / n
        print('shared out: %.2f ms on one core; not shared: %.2f ms, %.2f times the floor' % (
            shared * 1e3, alone * 1e3, alone / fn))

table('kilnfont', '')
if os.path.exists(work + '/all-pcf.json'):
    print()
    table('bdf2ttf', '-pcf')
PY
