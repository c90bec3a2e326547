#!/usr/bin/env python3
"""End-to-end: an inactivity lock that meets a grab held by another client
(an open menu) is not given up: once the holder lets go, the screen locks
within a few seconds, without any input.

Exit status 77 means a required program is missing (the test is skipped).
"""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lock_cycle  # noqa: E402
from lock_cycle import GRAB_SUCCESS, check, wait_for  # noqa: E402

# The slider's lowest position that locks: one minute without input.
ONE_MINUTE = 1.0


def run(session):
    display = session.setup()
    x = lock_cycle.X11(display)
    session.start_app()
    def started():
        with open(session.bus_log_path) as bus:
            return '"startNotification"' in bus.read()

    wait_for(started, 20, "the start-up")
    check(x.grab_keyboard() == GRAB_SUCCESS, "another client holds the keyboard, as an open menu does")
    wait_for(lambda: session.logged("Could not lock after inactivity"), 90, "the refused inactivity lock")
    check(not session.covers(), "nothing covers the screen while the keyboard is held elsewhere")
    x.ungrab_keyboard()
    released = time.monotonic()
    wait_for(x.keyboard_is_grabbed_by_another, 10, "the retried inactivity lock")
    check(True, "the screen locks %.1f s after the holder let go, without input" % (time.monotonic() - released))
    check(len(session.covers()) >= 1, "the monitor is covered")
    x.close()


def main():
    return lock_cycle.run_script(run, preferences={"lockOnStartup": False, "autoActivate": ONE_MINUTE})

if __name__ == "__main__":
    sys.exit(main())
