# SPDX-License-Identifier: MIT
"""Shared by the client checks (finish-check.py, web-check.py): the list of
failures, fontTools' warnings caught as failures, and a browser run headless
against a local server on 127.0.0.1."""
import functools
import http.server
import logging
import os
import signal
import subprocess
import sys
import threading

fails = []


def check(ok, what):
    """Records what failed unless ok; returns ok."""
    if not ok:
        fails.append(what)
        print('FAIL:', what, flush=True)
    return ok


def exit_with_failures():
    """Prints how many checks failed and exits, with status 1 if any did."""
    print('%d failures' % len(fails))
    sys.exit(1 if fails else 0)


class Warnings(logging.Handler):
    """Every fontTools warning or error, kept so that each step can fail on one."""
    def __init__(self):
        super().__init__(logging.WARNING)
        self.seen = []

    def emit(self, record):
        self.seen.append(record.getMessage())


WARNINGS = Warnings()
logging.getLogger('fontTools').addHandler(WARNINGS)


def run_browser(argv, site, env, timeout=120):
    """Serves the directory site on 127.0.0.1 and runs argv (each "{url}"
    in it becomes the address of site/index.html) in a process group of its
    own with env; kills the whole group afterwards. Returns False when the
    browser cannot be started or runs past timeout seconds."""
    class Quiet(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *a):
            pass
    server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), functools.partial(Quiet, directory=site))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = 'http://127.0.0.1:%d/index.html' % server.server_address[1]
    try:
        p = subprocess.Popen([a.replace('{url}', url) for a in argv], env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL, start_new_session=True)
    except OSError as e:
        server.shutdown()
        return check(False, '%s cannot be started: %s' % (argv[0], e))
    in_time = True
    try:
        p.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        in_time = check(False, '%s takes longer than %d s' % (argv[0], timeout))
    finally:
        try:
            os.killpg(p.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        p.wait()
        server.shutdown()
    return in_time
