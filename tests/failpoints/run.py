#!/usr/bin/python3
# SPDX-License-Identifier: MIT
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

Then signals at random moments of a run on a large font (jksp40, 40 pixels,
through pcf2bdf and bdf2pxg, with the example's 12, 14 and 16 px files).

usage: run.py --kilnfont K --shim S --bdf2pxg B [--sanitized]
"""
import argparse
import os
import random
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time

top = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ap = argparse.ArgumentParser()
ap.add_argument('--kilnfont', required=True)
ap.add_argument('--shim', required=True)
ap.add_argument('--bdf2pxg', required=True)
ap.add_argument('--sanitized', action='store_true', help='allocations are the sanitizer\'s: not failed')
a = ap.parse_args()
a.kilnfont, a.shim, a.bdf2pxg = (os.path.abspath(p) for p in (a.kilnfont, a.shim, a.bdf2pxg))

work = tempfile.mkdtemp(prefix='kiln-failpoints-')
inputs = ['example.info', 'jis_uni.txt', 'gothic12.pxg']
for name in inputs:
    shutil.copy(os.path.join(top, 'example', name), work)
out = os.path.join(work, 'kilnexample.ttf')
older = b'the older font\n' * 64
args = [a.kilnfont, 'example.info', 'gothic12.pxg']
failures = []


def run(env=(), argv=None, close_fds=(), expect_signal=0, what='', expect=None):
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
    if expect is not None and got != expect:
        problems.append('the output is not the font a plain run writes')
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
subprocess.run(long_args, cwd=work, capture_output=True)
ref_long = open(out, 'rb').read()
for fds in ((0,), (1,), (2,), (0, 1, 2)):
    run(argv=long_args, close_fds=fds, what='descriptors %s closed' % (fds,), expect=ref_long)
    runs += 1

# A reader of the log that goes away: the font still completes, exit 0.
with open(out, 'wb') as f:
    f.write(older)
r, w = os.pipe()
os.close(r)
p = subprocess.run(long_args, cwd=work, stdout=w, stderr=subprocess.PIPE, env=dict(os.environ, LD_PRELOAD=''))
os.close(w)
if p.returncode != 0 or open(out, 'rb').read() != ref_long:
    failures.append('log reader gone: exit status %d, the output is %s' % (
        p.returncode, 'the new font' if open(out, 'rb').read() == ref_long else 'not the new font'))
runs += 1

# Inputs that never end: a device, and a pipe whose header declares a 4 GiB
# fork. Each ends with an error within seconds and little memory.
fifo = os.path.join(work, 'pipe.pxg')
os.mkfifo(fifo)
inputs.append('pipe.pxg')
for src, name in (('/dev/zero', '/dev/zero'), ('/dev/urandom', '/dev/urandom'), (None, 'pipe.pxg')):
    feeder = None
    if src is None:
        feeder = subprocess.Popen(['sh', '-c', 'exec >"$1"; head -c 87 /dev/zero; printf "\\377\\377\\377\\377";'
                                   ' exec cat /dev/zero', 'feed', fifo], stderr=subprocess.DEVNULL)
    before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    t0 = time.time()
    last = run(argv=[a.kilnfont, 'example.info', name], what='endless input %s' % name)
    took = time.time() - t0
    if feeder:
        feeder.kill()
        feeder.wait()
    rss = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    if not last.startswith('error : ') or took > 10 or rss > 64 * 1024:
        failures.append('endless input %s: %r after %.1f s, %d KiB' % (name, last, took, rss))
    runs += 1

# Signals at random moments of a large font's run, with and without
# anonymous files: the process dies of the signal (or completes first),
# leaving the older file or the complete font and nothing else.
for name in ('gothic14.pxg', 'gothic16.pxg'):
    shutil.copy(os.path.join(top, 'example', name), work)
inputs += ['gothic14.pxg', 'gothic16.pxg', 'jksp40.pxg']
bdf = os.path.join(work, 'jksp40.bdf')
subprocess.run(['pcf2bdf', '-o', bdf, '/usr/share/fonts/X11/misc/jksp40.pcf.gz'], check=True, capture_output=True)
subprocess.run([a.bdf2pxg, '--map', os.path.join(work, 'jis_uni.txt'), '-o', os.path.join(work, 'jksp40.pxg'), bdf],
               check=True, capture_output=True)
os.remove(bdf)
large = [a.kilnfont, 'example.info', 'jksp40.pxg', 'gothic12.pxg', 'gothic14.pxg', 'gothic16.pxg']
t0 = time.time()
p = subprocess.run(large, cwd=work, capture_output=True)
took = time.time() - t0
if not p.stdout.endswith(b'complete\n'):
    sys.exit('FAIL: the large font did not complete:\n' + p.stdout.decode()[-300:])
ref_large = open(out, 'rb').read()
rng = random.Random(int(os.environ.get('KILN_SEED', '1')))
for tmpfile in (True, False):
    env = dict(os.environ, LD_PRELOAD=a.shim, ASAN_OPTIONS='verify_asan_link_order=0:detect_leaks=1')
    if not tmpfile:
        env['KILN_NO_TMPFILE'] = '1'
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        for _ in range(8):
            with open(out, 'wb') as f:
                f.write(older)
            proc = subprocess.Popen(large, cwd=work, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            time.sleep(rng.uniform(0, took * 1.1))
            proc.send_signal(sig)
            log, err = proc.communicate(timeout=120)
            got = open(out, 'rb').read()
            left = sorted(set(os.listdir(work)) - set(inputs) - {'kilnexample.ttf'})
            what = 'large font, %s%s' % (sig.name, '' if tmpfile else ', named')
            if proc.returncode not in (0, -sig) or left or got not in (older, ref_large) or err.strip() or (
                    proc.returncode == 0 and (got != ref_large or not log.endswith(b'complete\n'))):
                failures.append('%s: exit status %d, left %s, output %s, stderr %r' % (
                    what, proc.returncode, left, 'new' if got == ref_large else 'older' if got == older else 'other',
                    err[:200]))
            for name in left:
                os.remove(os.path.join(work, name))
            runs += 1

shutil.rmtree(work)
print('%d runs; endings: %s' % (runs, ', '.join('%s (%d)' % kv for kv in sorted(endings.items()))))
for f in failures[:40]:
    print('FAIL ' + f)
if failures:
    sys.exit('%d of %d runs ended wrongly' % (len(failures), runs))
