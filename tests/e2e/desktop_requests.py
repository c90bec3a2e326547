#!/usr/bin/env python3
"""End-to-end: what the rest of the desktop asks of Tarnwick.

A stand-in for logind on a private system bus sends the session's Lock and
Unlock signals and records the locked hint; tarnwick-ctl and dbus-send play
the other programs of the session. logind's Lock locks; its Unlock only
brings up the password prompt (any program of the user can have logind send
it); a signal for another session, or one that another client sends in
logind's name, changes nothing; nothing on the bus unlocks. tarnwick-ctl's
exit statuses are checked as scripts rely on them.

Exit status 77 means a required program is missing (the test is skipped).
"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lock_cycle  # noqa: E402
from lock_cycle import Failure, check, wait_for  # noqa: E402
from log_window import log_window_id  # noqa: E402
from sleep_lock import Logind  # noqa: E402

SESSION_PATH = "/org/freedesktop/login1/session/_331"


class Control:
    def __init__(self, program, session):
        self.program = program
        self.session = session

    def run(self, *arguments):
        return subprocess.run([self.program, *arguments], env=self.session.env, capture_output=True, text=True,
                              timeout=30)

    def status(self):
        result = self.run("status")
        return result.stdout.strip() if result.returncode == 0 else "exit %d" % result.returncode


def exit_statuses_before_start(control):
    for arguments, expected, what in [
        (("status",), 3, "status while Tarnwick is not running"),
        (("lock",), 3, "lock while Tarnwick is not running"),
        (("log",), 3, "log while Tarnwick is not running"),
        (("log", "now"), 2, "log takes no arguments"),
        ((), 2, "no command"),
        (("unlock",), 2, "there is no unlock command"),
        (("status", "now"), 2, "status takes no arguments"),
        (("inhibit",), 2, "inhibit without a command"),
        (("inhibit", "--bogus", "--", "true"), 2, "an unknown option of inhibit"),
        (("--help",), 0, "--help"),
    ]:
        result = control.run(*arguments)
        check(result.returncode == expected, "%s exits %d (got %d)" % (what, expected, result.returncode))
    check(control.run("--version").stdout.startswith("tarnwick-ctl "), "--version names the program")


def inhibit_statuses(control):
    for command, expected, what in [
        (["sh", "-c", "exit 7"], 7, "the command's own status"),
        (["sh", "-c", "kill -TERM $$"], 143, "128+15 when the command is killed"),
        (["/nonexistent/program"], 127, "127 when the command cannot be started"),
    ]:
        result = control.run("inhibit", "--reason", "e2e", "--", *command)
        check(result.returncode == expected, "inhibit gives %s: %d (got %d)" % (what, expected, result.returncode))


def run(session, logind_program, control_program):
    system_bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    session.processes.append(system_bus)
    session.extra_env["DBUS_SYSTEM_BUS_ADDRESS"] = system_bus.stdout.readline().decode().strip()
    session.extra_env["XDG_SESSION_ID"] = "31"
    display = session.setup()
    logind = Logind(logind_program, session.env)
    session.processes.append(logind.process)
    logind.expect("ready")
    x = lock_cycle.X11(display)
    control = Control(control_program, session)

    exit_statuses_before_start(control)
    session.start_app()
    wait_for(lambda: control.status() == "unlocked", 20, "tarnwick-ctl status to answer")
    check(True, "status says unlocked once Tarnwick runs")
    inhibit_statuses(control)

    # Signals that are not logind's for this session change nothing.
    logind.send("lock other")
    subprocess.run(["dbus-send", "--system", "--type=signal", SESSION_PATH, "org.freedesktop.login1.Session.Lock"],
                   env=session.env, check=True)
    time.sleep(1.5)
    check(not x.keyboard_is_grabbed_by_another(), "Lock for another session, or sent by another client, is ignored")

    # loginctl lock-session.
    logind.send("lock")
    wait_for(x.keyboard_is_grabbed_by_another, 10, "the lock by logind's Lock")
    check(logind.expect("locked hint").endswith("true"), "the session's locked hint is set once locked")
    check(control.status() == "locked", "status says locked")

    # loginctl unlock-session: the prompt, never the desktop.
    logind.send("unlock")
    wait_for(lambda: session.logged("The login manager asked to unlock the screen"), 5, "the unlock request")
    time.sleep(1.0)
    check(x.keyboard_is_grabbed_by_another(), "logind's Unlock does not unlock")
    check(len(session.covers()) == 1, "the screen stays covered after logind's Unlock")
    refused = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.ScreenSaver",
                              "/ScreenSaver", "org.freedesktop.ScreenSaver.SetActive", "boolean:false"],
                             env=session.env, capture_output=True, text=True)
    check(refused.returncode != 0 and x.keyboard_is_grabbed_by_another(), "SetActive(false) is refused")
    check(control.status() == "locked", "status still says locked")

    lock_cycle.unlock_by_password(session, x)
    check(logind.expect("locked hint").endswith("false"), "the locked hint is cleared on unlock")
    check(control.status() == "unlocked", "status says unlocked after the password")

    # What xdg-screensaver lock and tarnwick-ctl lock send.
    subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.ScreenSaver", "/ScreenSaver",
                    "org.freedesktop.ScreenSaver.Lock"], env=session.env, check=True, capture_output=True)
    wait_for(x.keyboard_is_grabbed_by_another, 10, "the lock by org.freedesktop.ScreenSaver.Lock")
    check(True, "org.freedesktop.ScreenSaver.Lock locks")
    lock_cycle.unlock_by_password(session, x)
    check(control.run("lock").returncode == 0, "tarnwick-ctl lock exits 0")
    wait_for(x.keyboard_is_grabbed_by_another, 10, "the lock by tarnwick-ctl")
    check(True, "tarnwick-ctl lock locks")
    # The log window's command, for compositors that give no hot keys: never
    # a window under the lock, and shown and hidden as the hot key does.
    check(control.run("log").returncode == 0, "tarnwick-ctl log exits 0 while locked")
    time.sleep(1.0)
    check(log_window_id(session) is None, "tarnwick-ctl log shows no window while locked")
    lock_cycle.unlock_by_password(session, x)
    wait_for(lambda: log_window_id(session) is None, 5, "no log window after the unlock")
    check(control.run("log").returncode == 0, "tarnwick-ctl log exits 0")
    wait_for(lambda: log_window_id(session) is not None, 10, "the log window by tarnwick-ctl log")
    check(control.run("log").returncode == 0, "tarnwick-ctl log again exits 0")
    wait_for(lambda: log_window_id(session) is None, 10, "the log window hidden by a second tarnwick-ctl log")
    check(True, "tarnwick-ctl log shows the log window and hides it again")

    # The X server's own time-out is no request: inactivity is Tarnwick's setting.
    subprocess.run(["xset", "s", "1"], env=session.env, check=True)
    time.sleep(2.5)
    check(not x.keyboard_is_grabbed_by_another(), "the X screen saver's own time-out does not lock")
    subprocess.run(["xset", "s", "off"], env=session.env, check=True)
    # What xdg-screensaver activate sends where it knows no desktop.
    subprocess.run(["xset", "s", "activate"], env=session.env, check=True)
    wait_for(x.keyboard_is_grabbed_by_another, 10, "the lock by the X screen saver switched on")
    check(True, "the X screen saver switched on by request (xset s activate) locks")
    lock_cycle.unlock_by_password(session, x)
    x.close()


def main():
    arguments = lock_cycle.parse_arguments("logind", "control")
    lock_cycle.require_programs()
    os.makedirs(arguments.artifacts, exist_ok=True)
    session = lock_cycle.Session(arguments.app, arguments.pane, arguments.artifacts,
                                 preferences={"lockOnStartup": False})
    return lock_cycle.run_reporting(session, lambda: run(session, arguments.logind, arguments.control), log_lines=40)


if __name__ == "__main__":
    sys.exit(main())
