#!/usr/bin/env python3
"""How long the session stands open when Tarnwick dies while locked: from
SIGKILL of the locked application to the lock guard holding keyboard and
pointer.

Runs Tarnwick's desktop backend on a private Xvfb display and session bus,
locked at start-up. Each run waits a random 0-200 ms (so that no timer of the
application or the guard lines up with the kill), notes CLOCK_MONOTONIC and
kills the application; the guard logs the CLOCK_MONOTONIC time at which both
grabs held. The right password then unlocks the guard, which starts a new
Tarnwick for the next run. The target is under 50 ms.

    bench/guard_takeover.py --build build/default [--runs 20]
"""

import os
import re
import signal
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import guard  # noqa: E402
import lock_cycle  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_session  # noqa: E402

HELD = re.compile(r"tarnwick-guard: keyboard and pointer held .* \(monotonic ([0-9.]+)\)")
TARGET_MS = 50.0


def held_since(session, moment, timeout=5):
    """The guard's first grab time after `moment`, from its log line."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        times = [float(t) for t in HELD.findall(session.log()) if float(t) > moment]
        if times:
            return min(times)
        time.sleep(0.05)
    raise lock_cycle.Failure("the guard did not report its grab")


def main():
    arguments = bench_session.options(default_runs=20)
    session = bench_session.session(arguments.build,
                                    {"logLevel": 4, "fadingEnabled": False, "showInMenu": False})
    g = None
    try:
        g = guard.GuardedSession(session, session.setup())
        g.start()
        samples = []
        for run in range(arguments.runs):
            g.wait_until_locked()
            bench_session.random_pause()
            killed = time.monotonic()
            os.kill(g.pid, signal.SIGKILL)
            samples.append((held_since(session, killed) - killed) * 1000.0)
            print("run %d: %.1f ms" % (run + 1, samples[-1]), flush=True)
            g.unlock_the_guard()
        bench_session.report("SIGKILL of the locked application to the guard's grab", samples, TARGET_MS)
    except lock_cycle.Failure as failure:
        print("FAIL: %s" % failure)
        return 1
    finally:
        if g:
            g.end()
        session.teardown()
    return 0


if __name__ == "__main__":
    sys.exit(main())
