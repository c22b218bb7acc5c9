#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# kilnfont against the physical floor on the example font (gothic 12 + 14 +
# 16 px, 6879 characters): the floor program reads the same input files
# whole and writes a file as long as the font, nothing else. Both run side by
# side in one hyperfine run on all the machine's cores, then in a second run
# pinned to one core (taskset -c 0); prints the medians and kilnfont / floor.
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

load="$(cut -d' ' -f1-3 /proc/loadavg)"
for cores in all one; do
  pin=()
  [ "$cores" = one ] && pin=(taskset -c 0)
  "${pin[@]}" hyperfine -N --warmup 10 --runs "$runs" --export-json "$work/$cores.json" \
    -n kilnfont "$kiln $args" -n floor "$floor $size floor.out $inputs" >&2
done

/usr/bin/python3 - "$work" "$size" "$load" "$(nproc)" <<'PY'
import json, statistics, sys
work, size, load, cores = sys.argv[1:]
cpu = next(l.split(':', 1)[1].strip() for l in open('/proc/cpuinfo') if l.startswith('model name'))
print('machine: %s cores, %s; load average before the runs: %s' % (cores, cpu, load))
print('font: %s bytes' % size)
print('| cores | kilnfont median (min) | floor median (min) | kilnfont / floor |')
print('|---|---|---|---|')
for name, label in (('all', '%s (all)' % cores), ('one', '1 (taskset -c 0)')):
    r = {x['command']: x['times'] for x in json.load(open('%s/%s.json' % (work, name)))['results']}
    k, f = statistics.median(r['kilnfont']), statistics.median(r['floor'])
    print('| %s | %.2f ms (%.2f) | %.2f ms (%.2f) | %.2f |' % (
        label, k * 1e3, min(r['kilnfont']) * 1e3, f * 1e3, min(r['floor']) * 1e3, k / f))
PY
