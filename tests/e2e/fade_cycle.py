#!/usr/bin/env python3
"""End-to-end: fades through the monitors' gamma ramps, and the watchdog.

With fades on, a lock, a wake of the lock window and an unlock each fade the
monitors and leave their gamma ramps as they were. Killing the application
(SIGKILL) in the middle of a fade leaves the ramps to the watchdog, which
puts the original ones back.

Exit status 77 means a required program is missing (the test is skipped).
"""

import os
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lock_cycle  # noqa: E402
from lock_cycle import Failure, check, wait_for  # noqa: E402


def gamma(session):
    """The gamma and brightness xrandr reads back from the ramps."""
    output = subprocess.run(["xrandr", "--verbose"], env=session.env, capture_output=True, text=True).stdout
    return tuple(line.strip() for line in output.splitlines() if line.strip().startswith(("Gamma:", "Brightness:")))


def sample_for(session, seconds):
    samples = []
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        samples.append(gamma(session))
    return samples


def run(session):
    display = session.setup()
    x = lock_cycle.X11(display)
    normal = gamma(session)
    check(bool(normal), "xrandr reads the gamma of the monitor")

    session.start_app()
    wait_for(x.keyboard_is_grabbed_by_another, 20, "the start-up lock")
    time.sleep(1.5)
    check(gamma(session) == normal, "after the lock's fade the ramps are as before")

    session.xdotool("key", "Escape")
    samples = sample_for(session, 0.5)
    check(any(s != normal for s in samples), "waking the lock window fades the monitor")
    time.sleep(1.0)
    check(gamma(session) == normal, "after the wake's fade the ramps are as before")

    session.xdotool("type", "--delay", "30", lock_cycle.PASSWORD)
    session.xdotool("key", "Return")
    wait_for(lambda: not x.keyboard_is_grabbed_by_another(), 10, "the unlock")
    time.sleep(1.5)
    check(gamma(session) == normal, "after the unlock's fade the ramps are as before")

    # Killed in the middle of a fade: the watchdog restores the ramps.
    session.xdotool("key", lock_cycle.HOTKEY_XDOTOOL)
    wait_for(x.keyboard_is_grabbed_by_another, 10, "the second lock")
    time.sleep(1.5)
    session.xdotool("key", "Escape")
    wait_for(lambda: gamma(session) != normal, 2, "the wake's fade to begin", interval=0.005)
    session.app_process.send_signal(signal.SIGKILL)
    session.app_process.wait()
    wait_for(lambda: gamma(session) == normal, 3, "the watchdog to restore the ramps", interval=0.05)
    check(True, "the watchdog restores the ramps after SIGKILL during a fade")
    x.close()


def main():
    arguments = lock_cycle.parse_arguments()
    lock_cycle.require_programs()
    if not shutil.which("xrandr"):
        print("SKIP: xrandr is not installed", flush=True)
        return lock_cycle.SKIP
    os.makedirs(arguments.artifacts, exist_ok=True)
    session = lock_cycle.Session(arguments.app, arguments.pane, arguments.artifacts,
                                 preferences={"fadingEnabled": True, "showInMenu": False})
    return lock_cycle.run_reporting(session, lambda: run(session), log_lines=30)


if __name__ == "__main__":
    sys.exit(main())
