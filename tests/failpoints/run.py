#!/usr/bin/python3
"""Failure tests: every way a run can be cut short must leave either the
complete new font or the older file, byte for byte, and nothing else.

The preloaded library (shim.cc) makes the Nth call of one kind fail, for
every N a conversion of a small font reaches, once and for good, with and
without anonymous temporary files; raises SIGINT, SIGTERM and SIGHUP at
chosen calls; and the runs start with standard descriptors closed. After
each run: the log ends "complete" or "error : ...", exit status 0 (or death
by the signal sent), the directory holds the inputs and the output only, the
output is the reference font after "complete" and the older file otherwise,
and nothing is printed on standard error (sanitizer reports, aborts).

usage: run.py --kilnfont K --shim S [--sanitized]
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile

top = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ap = argparse.ArgumentParser()
ap.add_argument('--kilnfont', required=True)
ap.add_argument('--shim', required=True)
ap.add_argument('--sanitized', action='store_true', help='allocations are the sanitizer\'s: not failed')
a = ap.parse_args()
a.kilnfont, a.shim = os.path.abspath(a.kilnfont), os.path.abspath(a.shim)

work = tempfile.mkdtemp(prefix='kiln-failpoints-')
inputs = ['example.info', 'jis_uni.txt', 'gothic12.pxg']
for name in inputs:
    shutil.copy(os.path.join(top, 'example', name), work)
out = os.path.join(work, 'kilnexample.ttf')
older = b'the older font\n' * 64
args = [a.kilnfont, 'example.info', 'gothic12.pxg']
failures = []


def run(env=(), argv=None, close_fds=(), expect_signal=0, what=''):
    """One run in a directory holding the inputs and the older font."""
    with open(out, 'wb') as f:
        f.write(older)
    e = dict(os.environ)
    e.update(env)
    e['LD_PRELOAD'] = a.shim
    e.setdefault('ASAN_OPTIONS', 'verify_asan_link_order=0:detect_leaks=1')
    if a.sanitized:
        e['ASAN_OPTIONS'] = 'verify_asan_link_order=0:detect_leaks=1'

    def shut():
        for fd in close_fds:
            os.close(fd)
    p = subprocess.run(argv or args, cwd=work, env=e, capture_output=not close_fds,
                       stdout=subprocess.DEVNULL if close_fds else None,
                       stderr=subprocess.DEVNULL if close_fds else None,
                       preexec_fn=shut if close_fds else None, timeout=120)
    log = (p.stdout or b'').decode('utf-8', 'replace').splitlines()
    err = (p.stderr or b'').decode('utf-8', 'replace')
    last = log[-1] if log else ''
    problems = []
    killed = expect_signal and p.returncode == -expect_signal
    if not killed and p.returncode != 0:
        problems.append('exit status %d' % p.returncode)
    if not killed and not close_fds and last != 'complete' and not last.startswith('error : '):
        problems.append('last line %r' % last)
    left = sorted(set(os.listdir(work)) - set(inputs) - {'kilnexample.ttf'})
    if left:
        problems.append('left behind: %s' % ' '.join(left))
        for name in left:
            os.remove(os.path.join(work, name))
    got = open(out, 'rb').read() if os.path.exists(out) else None
    if got is None:
        problems.append('the output is gone')
    elif got != older and got != ref:
        problems.append('the output is neither the older file nor the reference font')
    elif not killed and not close_fds and (last == 'complete') != (got == ref):
        problems.append('log says %r but the output is the %s' % (last, 'new font' if got == ref else 'older file'))
    if err.strip():
        problems.append('standard error: ' + err.strip()[:300])
    if problems:
        failures.append('%s: %s' % (what, '; '.join(problems)))
    return last


# The reference font, and how many calls of each kind a run makes.
ref = None
counts_file = os.path.join(tempfile.gettempdir(), 'kiln-failpoints-counts-%d' % os.getpid())
p = subprocess.run(args, cwd=work, env=dict(os.environ, LD_PRELOAD=a.shim, KILN_FAIL_COUNTS=counts_file,
                                             ASAN_OPTIONS='verify_asan_link_order=0'),
                   capture_output=True)
ref = open(out, 'rb').read()
if not p.stdout.endswith(b'complete\n'):
    sys.exit('FAIL: the run without faults did not complete:\n' + p.stdout.decode()[-500:] + p.stderr.decode())
counts = {k: int(n) for k, n in (line.split() for line in open(counts_file))}
os.remove(counts_file)
if a.sanitized:
    counts.pop('alloc')
print('calls of a run: ' + ', '.join('%s %d' % kv for kv in counts.items()))

runs = 0
endings = {}
for tmpfile in (True, False):
    mode = {} if tmpfile else {'KILN_NO_TMPFILE': '1'}
    for kind, total in counts.items():
        for n in range(1, total + 2):
            for once in (False, True):
                env = dict(mode, KILN_FAIL_KIND=kind, KILN_FAIL_AT=str(n))
                if once:
                    env['KILN_FAIL_ONCE'] = '1'
                last = run(env, what='%s %s %d%s' % ('' if tmpfile else 'named', kind, n, ' once' if once else ''))
                endings[last] = endings.get(last, 0) + 1
                runs += 1
        # Signals at chosen calls: every call of the few kinds, every fifth
        # of the many.
        step = 1 if total < 20 else 5
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            for n in range(1, total + 1, step):
                run(dict(mode, KILN_FAIL_KIND=kind, KILN_FAIL_AT=str(n), KILN_FAIL_SIGNAL=str(int(sig))),
                    expect_signal=int(sig), what='%s %s %d %s' % ('' if tmpfile else 'named', kind, n, sig.name))
                runs += 1

# Closed standard descriptors, with a log that passes stdio's 4 KiB buffer
# before the output is made (long file names).
deep = './' * 900
long_args = [a.kilnfont, 'example.info', deep + 'gothic12.pxg', deep + 'gothic12.pxg', deep + 'gothic12.pxg']
for fds in ((0,), (1,), (2,), (0, 1, 2)):
    run(argv=long_args, close_fds=fds, what='descriptors %s closed' % (fds,))
    runs += 1

shutil.rmtree(work)
print('%d runs; endings: %s' % (runs, ', '.join('%s (%d)' % kv for kv in sorted(endings.items()))))
for f in failures[:40]:
    print('FAIL ' + f)
if failures:
    sys.exit('%d of %d runs ended wrongly' % (len(failures), runs))
