#!/usr/bin/env python3
"""End-to-end: a program that keeps the screen awake through the X server's
screen-saver reset ("xset s reset", as xdg-screensaver reset and video
players do) postpones the inactivity lock without any input, and once it
stops the lock comes a full interval after its last reset.

Exit status 77 means a required program is missing (the test is skipped).
"""

import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lock_cycle  # noqa: E402
from lock_cycle import MINUTE, check, wait_for  # noqa: E402

# The slider's lowest position that locks: one minute without input.
ONE_MINUTE = 1.0


def run(session):
    if not shutil.which("xset"):
        print("SKIP: xset is not installed", flush=True)
        sys.exit(lock_cycle.SKIP)
    display = session.setup()
    x = lock_cycle.X11(display)
    session.start_app()
    started = time.monotonic()

    def started_up():
        with open(session.bus_log_path) as bus:
            return '"startNotification"' in bus.read()

    wait_for(started_up, 20, "the start-up")
    time.sleep(max(0.0, started + MINUTE * 2 / 3 - time.monotonic()))
    subprocess.run(["xset", "s", "reset"], env=session.env, check=True)
    reset = time.monotonic()
    time.sleep(max(0.0, started + MINUTE * 7 / 6 - time.monotonic()))
    check(not x.keyboard_is_grabbed_by_another(), "no lock a minute after start-up: the reset counted as activity")
    wait_for(x.keyboard_is_grabbed_by_another, MINUTE * 3 / 4, "the inactivity lock after the reset", interval=0.2)
    waited = time.monotonic() - reset
    check(waited >= MINUTE - 2, "the screen locks a minute after the last reset (%.1f s)" % waited)
    x.close()


def main():
    return lock_cycle.run_script(run, preferences={"lockOnStartup": False, "autoActivate": ONE_MINUTE})


if __name__ == "__main__":
    sys.exit(main())
