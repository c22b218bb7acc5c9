#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Measures what the test suite catches: applies each deliberate fault of
tests/faults.txt in turn to a copy of the tree, rebuilds, runs ctest and
counts the faults that make some test fail.

usage: tests/faults.py [-k WORD] [--build-args ...]
A fault whose text is not found exactly once, or that does not build, is
reported and counted as not applied: keep the list in step with the code.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def read_faults(path):
    faults = []
    for line in open(path, encoding='utf-8').read().split('\n'):
        if line.startswith('== '):
            faults.append({'name': line[3:], 'file': None, 'pairs': []})
        elif faults and line and not line.startswith('#'):
            f = faults[-1]
            if f['file'] is None:
                f['file'] = line
            elif line.startswith('- '):
                f['pairs'].append([line[2:].replace('\\n', '\n'), None])
            elif line.startswith('+ '):
                f['pairs'][-1][1] = line[2:].replace('\\n', '\n')
    return faults


def sh(cmd, cwd, timeout=None):
    return subprocess.run(cmd, cwd=cwd, capture_output=True, text=True, timeout=timeout).returncode == 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('-k', action='append', help='only faults whose name contains this (may repeat)')
    ap.add_argument('--keep', action='store_true', help='keep the scratch tree')
    args = ap.parse_args()
    faults = [f for f in read_faults(os.path.join(top, 'tests', 'faults.txt')) if not args.k or any(k in f['name'] for k in args.k)]
    work = tempfile.mkdtemp(prefix='kiln-faults.')
    files = subprocess.run(['git', 'ls-files', '-co', '--exclude-standard'], cwd=top, capture_output=True,
                           text=True, check=True).stdout.split('\n')
    for name in filter(None, files):
        if os.path.isfile(os.path.join(top, name)):
            os.makedirs(os.path.dirname(os.path.join(work, name)), exist_ok=True)
            shutil.copy2(os.path.join(top, name), os.path.join(work, name))
    build = os.path.join(work, 'build')
    make = ['cmake', '--build', build, '-j%d' % os.cpu_count()]
    test = ['ctest', '--test-dir', build, '-j%d' % os.cpu_count(), '--timeout', '300', '--stop-on-failure']
    if not (sh(['cmake', '-S', work, '-B', build, '-DKILN_BENCH=OFF'], work) and sh(make, work) and sh(test, work)):
        sys.exit('the unchanged tree does not build or pass its tests (%s)' % work)
    caught = applied = 0
    for f in faults:
        path = os.path.join(work, f['file'])
        original = open(path, encoding='utf-8').read()
        text, ok = original, True
        for old, new in f['pairs']:
            ok = ok and text.count(old) == 1
            text = text.replace(old, new)
        result = 'NOT FOUND'
        if ok:
            open(path, 'w', encoding='utf-8').write(text)
            if not sh(make, work):
                result = 'DOES NOT BUILD'
            else:
                applied += 1
                try:
                    failed = not sh(test, work, timeout=1800)
                except subprocess.TimeoutExpired:
                    failed = True
                caught += failed
                result = 'caught' if failed else 'MISSED'
            open(path, 'w', encoding='utf-8').write(original)
        print('%-14s %s' % (result, f['name']), flush=True)
    print('caught %d of %d faults (%d applied)' % (caught, len(faults), applied))
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    return 0 if caught == len(faults) else 1


if __name__ == '__main__':
    sys.exit(main())
