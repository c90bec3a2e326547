#!/usr/bin/env python3
"""End-to-end: a script chosen in the settings window runs at a wrong password.

On a private X server and session bus, with a password set: in "Tarnwick
Settings" the user selects "Wrong Password" in the events table, ticks
"Execute Script", chooses a shell script in the file dialog by typing its
path, types arguments and confirms. The table then shows the script and its
arguments, and the preferences hold them. Space on a check box cell stores
the change as a click does. Tarnwick, started from the pane,
locks by the hot key; a wrong password runs the script, which leaves its
arguments in a file; the right password unlocks. A screenshot of the tables
is kept.

Exit status 77 means a required program is missing (the test is skipped).
"""

import os
import plistlib
import re
import stat
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lock_cycle  # noqa: E402
import settings_pane  # noqa: E402
from lock_cycle import check, wait_for  # noqa: E402

# The time stamp placeholder is replaced by the event's time in the application.
ARGUMENTS = "x y #TIMESTAMP#"


class EventsSession(settings_pane.PaneSession):
    """The password and the lock hot key are set; Tarnwick is not running."""

    UNSET = ("lockOnStartup",)


def read_text(path):
    with open(path) as f:
        return f.read()


def write_script(session):
    """A script that leaves its arguments, one a line, in a file beside it."""
    script = os.path.join(session.tmp, "alarm script.sh")
    output = os.path.join(session.tmp, "alarm-output.txt")
    with open(script, "w") as f:
        f.write("#!/bin/sh\nprintf '%%s\\n' \"$@\" > '%s'\n" % output)
    os.chmod(script, os.stat(script).st_mode | stat.S_IXUSR)
    return script, output


def choose_script(session, script):
    session.click("tab:Events")
    session.click("events:0:name")
    session.wait_shows("actions:1:enabled")
    check(session.widget("actions:1:enabled")["checked"] == "0", "the script is off with nothing stored")
    session.click("actions:1:enabled")
    session.wait_shows("scriptNameLabel")
    check(session.shows("scriptOkButton", enabled=False), "nothing to confirm before a script is chosen")
    session.click("chooseScript")
    time.sleep(1.0)
    session.type_and_return(script)
    session.wait_shows("scriptNameLabel", script)
    # The sheet takes input again once the dialog has gone.
    time.sleep(0.5)
    session.click("scriptArguments")
    time.sleep(0.3)
    session.xdotool("type", "--delay", "20", ARGUMENTS)
    session.click("scriptOkButton")
    wait_for(lambda: not session.shows("scriptNameLabel"), 10, "the script sheet to close", interval=0.1)


def toggle_with_space(session, cell, key, expected):
    """Puts the keyboard on the row of `cell`, moves it to the row's check
    box (the first column) and presses Space; `key` then holds `expected`."""
    session.click(cell)
    time.sleep(0.3)
    session.xdotool("key", "Home", "space")
    wait_for(lambda: session.stored().get(key) is expected, 5, "Space to store %s = %s" % (key, expected))
    check(True, "Space on the check box of %s stored %s = %s" % (cell, key, expected))


def run(session):
    display = session.setup()
    x = lock_cycle.X11(display)
    script, output = write_script(session)
    session.start_host()
    session.wait_shows("passwordSet", "Password set.", timeout=20)

    # 1. The script, chosen through the sheet and the file dialog.
    choose_script(session, script)
    wait_for(lambda: session.stored().get("wrongPassword.script") is True, 5, "the script switched on")
    check(session.stored().get("wrongPassword.script.details") == script + "|||" + ARGUMENTS,
          "the script is stored as its path, \"|||\" and the arguments")
    session.wait_shows("actions:1:details", script + " " + ARGUMENTS)
    check(session.widget("actions:1:enabled")["checked"] == "1", "the table shows the script on")
    path, spread = session.pane_screenshot("events.png")
    print("# screenshot %s, grey spread %.3f" % (path, spread), flush=True)

    # 1b. Space on a check box is a click: the keyboard changes the reaction too.
    toggle_with_space(session, "actions:0:name", "wrongPassword.log", False)
    toggle_with_space(session, "events:2:name", "screenLocked", False)
    toggle_with_space(session, "events:2:name", "screenLocked", True)

    # 2. Tarnwick runs the script at a wrong password.
    session.start_or_stop_tarnwick("Stop")
    settings_pane.lock_with_hot_key(session, x)
    session.type_and_return("not the password")
    wait_for(lambda: os.path.exists(output), 15, "the script's output file")
    with open(output) as f:
        lines = f.read().splitlines()
    check(lines[:2] == ["x", "y"] and len(lines) > 2 and re.fullmatch(r"\d{17}", lines[2]) is not None,
          "the script got the arguments typed in the sheet, with the event's time stamp: %r" % lines)
    session.type_and_return(lock_cycle.PASSWORD)
    wait_for(lambda: not x.keyboard_is_grabbed_by_another(), 10, "the keyboard to be released")

    # 3. A camera Tarnwick cannot use: at the next change it says so, and the
    # pane shows "Don't take photos" again without changing the stored choice.
    preferences = session.stored()
    preferences["videoCaptureDevice"] = "no-such-camera"
    with open(session.preferences_path, "wb") as f:
        plistlib.dump(preferences, f)
    session.click("actions:0:photo")
    wait_for(lambda: "videoLockFailed" in read_text(session.bus_log_path), 10,
             "Tarnwick to announce that it cannot use the camera")
    time.sleep(0.5)
    check(session.widget("videoPopupButton")["text"] == "Don't take photos", "the camera menu reads no photos")
    check(session.stored().get("videoCaptureDevice") == "no-such-camera", "the stored camera is kept")

    session.start_or_stop_tarnwick("Start")
    x.close()


def main():
    return settings_pane.run_pane_scenario(EventsSession, run)


if __name__ == "__main__":
    sys.exit(main())
