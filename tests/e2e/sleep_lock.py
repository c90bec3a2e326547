#!/usr/bin/env python3
"""End-to-end: Tarnwick locks before the machine sleeps.

A stand-in for logind on a private system bus hands out the "sleep" delay
inhibitor and announces PrepareForSleep. The inhibitor must be let go only
once the screen is locked (the keyboard grabbed), and taken again after wake.

Exit status 77 means a required program is missing (the test is skipped).
"""

import os
import queue
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lock_cycle  # noqa: E402
from lock_cycle import Failure, check, wait_for  # noqa: E402


class Logind:
    def __init__(self, program, env):
        self.process = subprocess.Popen([program], env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        text=True, bufsize=1)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line.strip())

    def expect(self, prefix, timeout=10):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                line = self.lines.get(timeout=max(0.01, deadline - time.monotonic()))
            except queue.Empty:
                break
            if line.startswith(prefix):
                return line
        raise Failure("the fake logind never said " + repr(prefix))

    def send(self, command):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()


def run(session, logind_program):
    system_bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    session.processes.append(system_bus)
    session.extra_env["DBUS_SYSTEM_BUS_ADDRESS"] = system_bus.stdout.readline().decode().strip()
    display = session.setup()
    logind = Logind(logind_program, session.env)
    session.processes.append(logind.process)
    logind.expect("ready")
    x = lock_cycle.X11(display)

    session.start_app()
    check(logind.expect("inhibit taken").endswith("sleep delay"), "the application holds a sleep delay inhibitor")
    check(not x.keyboard_is_grabbed_by_another(), "the screen is unlocked before sleep")

    logind.send("sleep")
    released = logind.expect("inhibit released")
    check(released.endswith("locked") and not released.endswith("unlocked"),
          "the inhibitor is let go only once the screen is locked")
    check(len(session.covers()) == 1, "the covering window is up while the machine sleeps")

    logind.send("wake")
    logind.expect("inhibit taken")
    wait_for(lambda: session.logged("DID WAKE"), 5, "the wake notification")
    check(x.keyboard_is_grabbed_by_another(), "the screen stays locked after wake")

    time.sleep(1.2)
    session.xdotool("key", "Escape")
    session.xdotool("type", "--delay", "30", lock_cycle.PASSWORD)
    session.xdotool("key", "Return")
    wait_for(lambda: not x.keyboard_is_grabbed_by_another(), 5, "the unlock")
    check(True, "the password unlocks after wake")
    x.close()


def main():
    arguments = lock_cycle.parse_arguments("logind")
    lock_cycle.require_programs()
    os.makedirs(arguments.artifacts, exist_ok=True)
    session = lock_cycle.Session(arguments.app, arguments.pane, arguments.artifacts,
                                 preferences={"lockOnStartup": False, "lockOnSleepComputer": True})
    return lock_cycle.run_reporting(session, lambda: run(session, arguments.logind), log_lines=30)


if __name__ == "__main__":
    sys.exit(main())
