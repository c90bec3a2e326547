#!/usr/bin/env python3
"""End-to-end: an application added to the exceptions keeps the inactivity
lock away while its window is in front.

On a private X server and session bus, with a password set and the
inactivity lock at one minute: in "Tarnwick Settings" the user opens the
exceptions sheet, adds a desktop entry (whose program is xmessage) by typing
its path into the file dialog, and sees it listed under the program's name;
the preferences hold its path. Tarnwick, started from the pane, does not lock
after a minute without input while an xmessage window is the active window
(as a window manager announces it), and says why in its log; once another
window is active, it locks within the next minute, without any input.

Exit status 77 means a required program is missing (the test is skipped).
"""

import ctypes
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lock_cycle  # noqa: E402
import settings_pane  # noqa: E402
from lock_cycle import check, wait_for  # noqa: E402

ONE_MINUTE = 1.0
XA_WINDOW = 33


class ExceptionsSession(settings_pane.PaneSession):
    """The password is set and the screen locks after a minute of inactivity."""

    UNSET = ("lockOnStartup",)

    def adjust_preferences(self, preferences):
        preferences["autoActivate"] = ONE_MINUTE

    def write_preferences(self, home):
        config, data = super().write_preferences(home)
        self.data_home = data
        return config, data


def set_active_window(x, window):
    """Announces `window` as the active one, as a window manager does."""
    lib = x.lib
    lib.XInternAtom.restype = ctypes.c_ulong
    lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    lib.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int,
                                    ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
    atom = lib.XInternAtom(x.dpy, b"_NET_ACTIVE_WINDOW", 0)
    value = (ctypes.c_ulong * 1)(window)
    lib.XChangeProperty(x.dpy, x.root, atom, XA_WINDOW, 32, 0, value, 1)
    lib.XSync(x.dpy, 0)


def write_entry(session, program):
    folder = os.path.join(session.data_home, "applications")
    os.makedirs(folder, exist_ok=True)
    entry = os.path.join(folder, "message-viewer.desktop")
    with open(entry, "w") as f:
        f.write("[Desktop Entry]\nType=Application\nName=Message Viewer\nExec=%s -center %%F\nIcon=dialog-information\n"
                % program)
    return entry


def add_exception(session, entry):
    session.click("openExceptionsPanel")
    session.wait_shows("addButton")
    session.click("addButton")
    time.sleep(1.0)
    session.type_and_return(entry)
    wait_for(lambda: session.stored().get("exceptions") == [entry], 10, "the entry stored")
    session.wait_shows("tableView:0:name", "xmessage")
    session.click("doneButton")
    wait_for(lambda: not session.shows("addButton"), 10, "the exceptions sheet to close", interval=0.1)


def run(session):
    program = shutil.which("xmessage")
    if not program:
        print("# SKIP: xmessage is not installed", flush=True)
        sys.exit(77)
    display = session.setup()
    x = lock_cycle.X11(display)
    entry = write_entry(session, program)
    session.start_host()
    session.wait_shows("passwordSet", "Password set.", timeout=20)

    # 1. The entry, chosen through the sheet and the file dialog, listed by its program's name.
    add_exception(session, entry)
    path, spread = session.pane_screenshot("exceptions.png")
    print("# screenshot %s, grey spread %.3f" % (path, spread), flush=True)

    # 2. Its program in front keeps the inactivity lock away.
    session.start_or_stop_tarnwick("Stop")
    viewer = subprocess.Popen([program, "-center", "a window in front"], env=session.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    session.processes.append(viewer)
    found = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--class", "Xmessage"], env=session.env,
                           capture_output=True, text=True, timeout=20).stdout.split()
    check(bool(found), "the xmessage window is mapped")
    set_active_window(x, int(found[0]))
    wait_for(lambda: session.logged("Not locking computer. xmessage is currently the frontmost application."), 90,
             "the inactivity lock to be skipped for the excepted program")
    check(not x.keyboard_is_grabbed_by_another(), "the screen is not locked while xmessage is in front")

    # 3. Another window in front, and no input at all (as when a film ends
    # while the user is away): the lock comes within the next interval.
    set_active_window(x, x.root)
    wait_for(x.keyboard_is_grabbed_by_another, 90, "the inactivity lock once xmessage is no longer in front")
    check(True, "the screen locks without input once xmessage is no longer in front")
    lock_cycle.unlock_by_password(session, x)

    session.start_or_stop_tarnwick("Start")
    x.close()


def main():
    return settings_pane.run_pane_scenario(ExceptionsSession, run)


if __name__ == "__main__":
    sys.exit(main())
