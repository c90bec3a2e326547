#!/usr/bin/env python3
"""How long a lock takes on Wayland, next to swaylock started cold on the
same compositor: a private headless sway 1.10 (scripts/with-sway).

Tarnwick: from the start of `tarnwick-ctl lock` (a request over the session
bus) to the lock being up, which Tarnwick logs as its screen-locked event
once the compositor has sent `locked`; each run is unlocked by the password
typed through the virtual keyboard. swaylock: from its start (inside the
Debian 13 root) to the readiness it writes on --ready-fd once locked; it is
killed after each run, and sway hands the abandoned lock to the next one.
Each trigger comes after a random pause of up to 0.2 s. Both times include
the start of a process: tarnwick-ctl's, and nsenter's, chroot's and
swaylock's.

    bench/wayland_lock_latency.py --build build/default [--runs 30]
"""

import datetime
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
sys.path.insert(0, HERE)
import bench_session  # noqa: E402
import lock_cycle  # noqa: E402
import wayland_lock  # noqa: E402

LOCKED_LINE = "ScriptHandler got event com.quillmere.Tarnwick.screenLockedEvent"


def logged_times(session, line):
    """The wall-clock times of every log line that holds `line`."""
    times = []
    for entry in session.log().splitlines():
        if line in entry:
            stamp = " ".join(entry.split()[:2])
            times.append(datetime.datetime.strptime(stamp, "%Y-%m-%d %H:%M:%S.%f").timestamp())
    return times


def tarnwick_runs(session, runs):
    samples = []
    for _ in range(runs):
        seen = len(logged_times(session, LOCKED_LINE))
        bench_session.random_pause()
        start = time.time()
        if session.control("lock").returncode != 0:
            raise lock_cycle.Failure("tarnwick-ctl lock failed")
        lock_cycle.wait_for(lambda: len(logged_times(session, LOCKED_LINE)) > seen, 10, "the lock", interval=0.01)
        samples.append((logged_times(session, LOCKED_LINE)[seen] - start) * 1000.0)
        time.sleep(1.2)
        wayland_lock.unlock(session)
    return samples


def swaylock_runs(session, runs):
    samples = []
    for _ in range(runs):
        read_end, write_end = os.pipe()
        bench_session.random_pause()
        start = time.monotonic()
        # Known by its number inside the compositor's namespace, to end it there.
        command = "echo $$ > /run/wl/swaylock.pid; exec swaylock --color 00ff00 --ready-fd %d" % write_end
        swaylock = subprocess.Popen([wayland_lock.WITH_SWAY, "--exec-in-root", "sh", "-c", command], env=session.env,
                                    pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        os.close(write_end)
        with os.fdopen(read_end, "rb") as ready:
            if not ready.read(1):
                raise lock_cycle.Failure("swaylock ended without locking: " + swaylock.communicate()[1].decode())
        samples.append((time.monotonic() - start) * 1000.0)
        with open(os.path.join(session.env["XDG_RUNTIME_DIR"], "swaylock.pid")) as pid:
            session.in_root("sh", "-c", "kill -KILL " + pid.read().strip())
        swaylock.wait(timeout=10)
    return samples


def measure(session, runs):
    session.setup()
    session.start_app()
    lock_cycle.wait_for(lambda: session.control("status").returncode == 0, 40, "Tarnwick on the bus", interval=0.1)
    tarnwick = tarnwick_runs(session, runs)
    session.control("status")
    session.app_process.terminate()
    session.app_process.wait(timeout=10)
    swaylock = swaylock_runs(session, runs)
    bench_session.report("Tarnwick: tarnwick-ctl lock to locked", tarnwick)
    bench_session.report("swaylock, cold: start to locked", swaylock)
    ratio = sorted(tarnwick)[len(tarnwick) // 2] / sorted(swaylock)[len(swaylock) // 2]
    print("median ratio Tarnwick / swaylock: %.2f" % ratio, flush=True)


def main():
    arguments = bench_session.options(default_runs=30)
    build = os.path.abspath(arguments.build)
    if "TARNWICK_SWAY_STATE" not in os.environ:
        # Again, next to a sway of its own.
        return subprocess.run([wayland_lock.WITH_SWAY, "--", sys.executable, os.path.abspath(__file__), "--build",
                               build, "--runs", str(arguments.runs)]).returncode

    class Arguments:
        pane = os.path.join(build, "Tarnwick.prefPane")
        app = os.path.join(pane, "Tarnwick.app", "Contents", "MacOS", "Tarnwick")
        ctl = os.path.join(build, "tarnwick-ctl")
        artifacts = os.path.join(build, "bench-artifacts", "wayland")

    os.makedirs(Arguments.artifacts, exist_ok=True)
    session = wayland_lock.WaylandSession(Arguments)
    try:
        measure(session, arguments.runs)
    except lock_cycle.Failure as failure:
        print("FAIL: %s" % failure, flush=True)
        return 1
    finally:
        session.teardown()
    return 0


if __name__ == "__main__":
    sys.exit(main())
