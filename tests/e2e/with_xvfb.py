#!/usr/bin/env python3
"""Runs a command on a private Xvfb display (one screen, or N with --screens N; without the Composite extension with
--without-composite) and, when dbus-daemon exists, a private session bus (DISPLAY and DBUS_SESSION_BUS_ADDRESS set
for it).

Exit status 77 (skip) when Xvfb is not installed; otherwise the command's own.
"""

import os
import shutil
import subprocess
import sys

SKIP = 77


def start_xvfb(screens, options):
    read_fd, write_fd = os.pipe()
    # Without -noreset the server resets whenever its last client leaves and
    # refuses connections meanwhile.
    screen_options = ["-screen", "0", "1280x800x24"]
    for screen in range(1, screens):
        screen_options += ["-screen", str(screen), "800x600x24"]
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), *screen_options, "-nolisten", "tcp",
                             "-noreset", *options], pass_fds=[write_fd], stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as pipe:
        number = pipe.readline().strip()
    if not number:
        xvfb.kill()
        sys.exit("Xvfb did not start")
    return xvfb, ":" + number


def main():
    command = sys.argv[1:]
    screens = 1
    options = []
    while command[:1] in (["--screens"], ["--without-composite"]):
        if command[0] == "--without-composite":
            options += ["-extension", "Composite"]
            command = command[1:]
        elif len(command) > 1:
            screens = int(command[1])
            command = command[2:]
        else:
            break
    if not command:
        sys.exit("usage: with_xvfb.py [--screens N] [--without-composite] command [arguments...]")
    if not shutil.which("Xvfb"):
        print("SKIP: Xvfb is not installed", flush=True)
        return SKIP
    xvfb, display = start_xvfb(screens, options)
    bus = None
    try:
        env = dict(os.environ, DISPLAY=display, TARNWICK_TEST_PRIVATE_X="1")
        env.pop("XAUTHORITY", None)
        if shutil.which("dbus-daemon"):
            bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()
            env["TARNWICK_TEST_PRIVATE_BUS"] = "1"
        return subprocess.run(command, env=env).returncode
    finally:
        for process in (bus, xvfb):
            if process:
                process.terminate()
                process.wait()


if __name__ == "__main__":
    sys.exit(main())
