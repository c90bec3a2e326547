#!/usr/bin/env python3
"""How often Tarnwick and its helpers wake up, idle and locked, and how much
memory they hold.

Runs Tarnwick's desktop backend on a private Xvfb display and session bus
with a tray present, no camera and no Bluetooth device. Counts the voluntary
context switches of every thread of the application and of its helper
processes (the lock guard among them) from /proc/<pid>/task/*/status: first
unlocked for --idle seconds, then locked by the hot key for --locked
seconds. A thread that sleeps and is woken switches once, so these are its
wakeups. The X server's are shown apart and not counted. Resident and
anonymous memory per process come from /proc/<pid>/status, idle and locked,
and after --cycles further lock and unlock cycles when asked for.

    bench/wakeups_memory.py --build build/default [--idle 30] [--locked 10] [--cycles 500]

Targets: no wakeup at all while idle; at most one every two seconds while locked;
anonymous memory of the process tree at most 6 MB while locked.
"""

import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import lock_cycle  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_session  # noqa: E402

LOCKED_WAKEUPS_PER_SECOND = 0.5
ANONYMOUS_TARGET_KB = 6 * 1024
SETTLE_SECONDS = 3.0


def add_arguments(parser):
    parser.add_argument("--idle", type=float, default=30.0, help="seconds counted while unlocked")
    parser.add_argument("--locked", type=float, default=10.0, help="seconds counted while locked")
    parser.add_argument("--cycles", type=int, default=0, help="lock cycles before the last memory reading")


def count_wakeups(what, application, server, seconds):
    """Counts for `seconds`; prints the threads that woke; the total."""
    tree = bench_session.process_tree(application)
    before, server_before = bench_session.voluntary_switches(tree), bench_session.voluntary_switches([server])
    time.sleep(seconds)
    rows = bench_session.wakeups_between(before, bench_session.voluntary_switches(tree))
    server_rows = bench_session.wakeups_between(server_before, bench_session.voluntary_switches([server]))
    total = sum(row[3] for row in rows)
    print("%s, %.0f s: %d wakeups in %d threads of %d processes (%.2f/s); X server %d (not counted)" %
          (what, seconds, total, len(rows), len(tree), total / seconds, sum(row[3] for row in server_rows)),
          flush=True)
    for process, thread, tid, wakeups in rows:
        if wakeups:
            print("  %-16s %-16s tid %-7d %d" % (process, thread, tid, wakeups), flush=True)
    return total


def report_memory(what, application):
    tree = bench_session.process_tree(application)
    readings = [(bench_session.process_name(pid), pid) + bench_session.memory_kb(pid) for pid in tree]
    anonymous = sum(reading[3] for reading in readings)
    print("memory %s: RSS %.1f MB, anonymous %.1f MB (process tree)" %
          (what, sum(reading[2] for reading in readings) / 1024.0, anonymous / 1024.0), flush=True)
    for name, pid, resident, anon in readings:
        print("  %-16s pid %-7d RSS %7.1f MB  anonymous %6.1f MB" % (name, pid, resident / 1024.0, anon / 1024.0),
              flush=True)
    return anonymous


def lock(session, x):
    lock_cycle.wait_for(lambda: not x.keyboard_is_grabbed_by_another(), 10, "an unlocked keyboard")
    session.xdotool("key", lock_cycle.HOTKEY_XDOTOOL)
    lock_cycle.wait_for(x.keyboard_is_grabbed_by_another, 10, "the keyboard grab after the hot key")


def run(session, arguments):
    display = session.setup()
    server = session.processes[0].pid
    x = lock_cycle.X11(display)
    x.become_tray()
    session.start_app()
    lock_cycle.wait_for(x.dock_requested, 10, "the tray icon to dock", interval=0.1)
    application = session.app_process.pid
    time.sleep(SETTLE_SECONDS)

    idle = count_wakeups("idle", application, server, arguments.idle)
    report_memory("idle", application)

    lock(session, x)
    time.sleep(SETTLE_SECONDS)
    locked = count_wakeups("locked", application, server, arguments.locked)
    anonymous = report_memory("locked", application)
    lock_cycle.unlock_by_password(session, x)

    if arguments.cycles:
        for cycle in range(arguments.cycles):
            try:
                lock(session, x)
                lock_cycle.unlock_by_password(session, x)
            except lock_cycle.Failure as failure:
                raise lock_cycle.Failure("lock cycle %d of %d: %s" % (cycle + 1, arguments.cycles, failure))
        lock(session, x)
        time.sleep(SETTLE_SECONDS)
        anonymous = report_memory("locked after %d more lock cycles" % arguments.cycles, application)
        lock_cycle.unlock_by_password(session, x)
    x.close()

    print("targets: idle 0 wakeups (%s), locked at most %.1f/s (%s), anonymous memory locked at most %.0f MB (%s)" %
          ("met" if idle == 0 else "missed", LOCKED_WAKEUPS_PER_SECOND,
           "met" if locked <= LOCKED_WAKEUPS_PER_SECOND * arguments.locked else "missed",
           ANONYMOUS_TARGET_KB / 1024.0, "met" if anonymous <= ANONYMOUS_TARGET_KB else "missed"), flush=True)


def main():
    arguments = bench_session.options(add_arguments=add_arguments)
    preferences = {"lockOnStartup": False, "logLevel": 4, "fadingEnabled": False, "showInMenu": True}
    return bench_session.run(arguments.build, preferences, lambda session: run(session, arguments))


if __name__ == "__main__":
    sys.exit(main())
