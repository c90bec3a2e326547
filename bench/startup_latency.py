#!/usr/bin/env python3
"""How long Tarnwick takes to start: from the start of its process to its
"startNotification" on the session bus, which tells the settings that it is
ready.

Runs Tarnwick's desktop backend on a private Xvfb display and session bus,
again and again: each run comes after a random pause of up to 0.2 s, notes
the wall-clock time, starts the application and waits for the announcement;
dbus-monitor stamps each signal with the time it received it. The
application is then ended with SIGTERM (its guard ends with it) before the
next run.

    bench/startup_latency.py --build build/default [--runs 20]
"""

import os
import re
import signal
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import lock_cycle  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_session  # noqa: E402

TARGET_MS = 50.0
SIGNAL_TIME = re.compile(r"^signal time=([0-9.]+) ")


def announcement_times(session):
    """The bus times of every "startNotification" seen so far."""
    times, last = [], None
    with open(session.bus_log_path) as f:
        for line in f:
            stamp = SIGNAL_TIME.match(line)
            if stamp:
                last = float(stamp.group(1))
            elif '"startNotification"' in line and last is not None:
                times.append(last)
    return times


def one_start(session):
    seen = len(announcement_times(session))
    bench_session.random_pause()
    started = time.time()
    session.start_app()
    lock_cycle.wait_for(lambda: len(announcement_times(session)) > seen, 20, "startNotification", interval=0.01)
    elapsed = (announcement_times(session)[seen] - started) * 1000.0
    session.app_process.send_signal(signal.SIGTERM)
    if session.app_process.wait(timeout=10) != 0:
        raise lock_cycle.Failure("Tarnwick did not end cleanly after SIGTERM")
    return elapsed


def run(session, runs):
    session.setup()
    # The first start fills the file system's caches.
    one_start(session)
    samples = []
    for number in range(runs):
        samples.append(one_start(session))
        print("run %d: %.1f ms" % (number + 1, samples[-1]), flush=True)
    print("load average %s" % " ".join("%.2f" % v for v in os.getloadavg()), flush=True)
    bench_session.report("start to startNotification on the bus", samples, TARGET_MS)


def main():
    arguments = bench_session.options(default_runs=20)
    preferences = {"lockOnStartup": False, "logLevel": 4}
    return bench_session.run(arguments.build, preferences, lambda session: run(session, arguments.runs))


if __name__ == "__main__":
    sys.exit(main())
