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

    bench/startup_latency.py --build build/default [--runs 20] [--against OTHER_BUILD]

With --against, the runs alternate between the two builds' applications in
the one session, so that both meet the same load of the machine.
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


def cpu_ms(pid):
    """The processor time every thread of `pid` has had so far, in ms."""
    total = 0
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, tid)) as f:
                total += int(f.read().split()[0])
        except OSError:
            pass
    return total / 1e6


def one_start(session):
    """(ms from the start to the announcement, ms of processor time the
    application had had when the announcement was seen)."""
    seen = len(announcement_times(session))
    bench_session.random_pause()
    started = time.time()
    session.start_app()
    lock_cycle.wait_for(lambda: len(announcement_times(session)) > seen, 20, "startNotification", interval=0.002)
    processor = cpu_ms(session.app_process.pid)
    elapsed = (announcement_times(session)[seen] - started) * 1000.0
    session.app_process.send_signal(signal.SIGTERM)
    if session.app_process.wait(timeout=10) != 0:
        raise lock_cycle.Failure("Tarnwick did not end cleanly after SIGTERM")
    return elapsed, processor


def application_of(build):
    return os.path.abspath(os.path.join(build, "Tarnwick.prefPane", "Tarnwick.app", "Contents", "MacOS", "Tarnwick"))


def run(session, arguments):
    session.setup()
    builds = [arguments.build] + ([arguments.against] if arguments.against else [])
    samples = {build: [] for build in builds}
    processor = {build: [] for build in builds}
    for build in builds:
        # The first start fills the file system's caches.
        session.app = application_of(build)
        one_start(session)
    for number in range(arguments.runs):
        for build in builds:
            session.app = application_of(build)
            elapsed, used = one_start(session)
            samples[build].append(elapsed)
            processor[build].append(used)
            print("run %d, %s: %.1f ms (processor %.1f ms)" % (number + 1, build, elapsed, used), flush=True)
    print("load average %s" % " ".join("%.2f" % v for v in os.getloadavg()), flush=True)
    for build in builds:
        bench_session.report("%s: start to startNotification on the bus" % build, samples[build], TARGET_MS)
        # What the load of the machine does not change: the processor time
        # the application had used by the time the announcement was seen.
        bench_session.report("%s: processor time by then" % build, processor[build])


def add_arguments(parser):
    parser.add_argument("--against", help="another build whose application alternates with this one's")


def main():
    arguments = bench_session.options(default_runs=20, add_arguments=add_arguments)
    preferences = {"lockOnStartup": False, "logLevel": 4}
    return bench_session.run(arguments.build, preferences, lambda session: run(session, arguments))


if __name__ == "__main__":
    sys.exit(main())
