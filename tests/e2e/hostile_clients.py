#!/usr/bin/env python3
"""End-to-end: other clients of the display attack a locked Tarnwick.

Each attack is made against the running application on a private Xvfb: every
top-level window unmapped, the lock's windows lowered, destroyed, reparented
or sent WM_DELETE_WINDOW, another window raised or the root's children
circulated in a loop, the settings file given another password which is then
typed. After each, the keyboard must still be grabbed, the screen must show
neither the desktop nor the intruder, and at the end the password typed at
the keyboard must still unlock.

Exit status 77 means a required program is missing (the test is skipped).
"""

import ctypes
import hashlib
import os
import plistlib
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lock_cycle  # noqa: E402
from lock_cycle import DESKTOP_COLOUR, PASSWORD, Failure, check, wait_for  # noqa: E402

INTRUDER_COLOUR = "#ff0000"
CLIENT_MESSAGE = 33


class Attacker(lock_cycle.X11):
    """Another client of the display, with the calls the attacks need."""

    def __init__(self, display):
        super().__init__(display)
        lib = self.lib
        lib.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                   ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                                   ctypes.POINTER(ctypes.c_uint)]
        for name in ("XUnmapWindow", "XMapRaised", "XRaiseWindow", "XLowerWindow", "XDestroyWindow",
                     "XCirculateSubwindowsUp", "XCirculateSubwindowsDown"):
            getattr(lib, name).argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        lib.XReparentWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int, ctypes.c_int]
        lib.XInternAtom.restype = ctypes.c_ulong
        lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        lib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
        lib.XCreateSimpleWindow.restype = ctypes.c_ulong
        lib.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                            ctypes.c_uint, ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong,
                                            ctypes.c_ulong]

    def top_level_windows(self):
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        self.lib.XQueryTree(self.dpy, self.root, ctypes.byref(root), ctypes.byref(parent), ctypes.byref(children),
                            ctypes.byref(count))
        return [children[i] for i in range(count.value)]

    def each(self, call, windows):
        for window in windows:
            getattr(self.lib, call)(self.dpy, window)
        self.lib.XSync(self.dpy, 0)

    def send_delete_window(self, windows):
        protocols = self.lib.XInternAtom(self.dpy, b"WM_PROTOCOLS", 0)
        delete = self.lib.XInternAtom(self.dpy, b"WM_DELETE_WINDOW", 0)
        for window in windows:
            event = ctypes.create_string_buffer(192)
            ctypes.c_int.from_buffer(event, 0).value = CLIENT_MESSAGE
            ctypes.c_ulong.from_buffer(event, 32).value = window
            ctypes.c_ulong.from_buffer(event, 40).value = protocols
            ctypes.c_int.from_buffer(event, 48).value = 32
            ctypes.c_long.from_buffer(event, 56).value = delete
            self.lib.XSendEvent(self.dpy, window, 0, 0, event)
        self.lib.XSync(self.dpy, 0)

    def intruder(self):
        window = self.lib.XCreateSimpleWindow(self.dpy, self.root, 0, 0, 1280, 800, 0, 0, 0xFF0000)
        self.lib.XMapRaised(self.dpy, window)
        self.lib.XSync(self.dpy, 0)
        return window


def lock_windows(session):
    """The application's own windows and the covers."""
    pid = str(session.app_process.pid)
    found = subprocess.run(["xdotool", "search", "--pid", pid], env=session.env, capture_output=True,
                           text=True).stdout.split()
    covers = [line.split()[0] for line in session.covers()]
    return [int(w, 0) for w in found + covers]


def colour_share(path, colour):
    """The share of the screenshot's pixels that have this colour."""
    output = subprocess.run(["convert", path, "-fill", "black", "+opaque", colour, "-fill", "white", "-opaque",
                             colour, "-format", "%[fx:mean]", "info:"], capture_output=True, text=True, check=True)
    return float(output.stdout)


def expect_locked(session, x, what):
    time.sleep(0.3)
    check(session.app_process.poll() is None, what + ": the application still runs")
    check(x.keyboard_is_grabbed_by_another(), what + ": the keyboard stays grabbed")
    path, _ = session.screenshot("attack.png")
    shown = max(colour_share(path, DESKTOP_COLOUR), colour_share(path, INTRUDER_COLOUR))
    check(shown == 0.0, what + ": neither the desktop nor another window shows (%.3f)" % shown)


def announce_change(session):
    subprocess.run(["dbus-send", "--session", "--type=signal", "/com/quillmere/DistributedNotificationCenter",
                    "com.quillmere.DistributedNotificationCenter.notification", "string:changeNotification",
                    "string:com.quillmere.TarnwickPreferences"], env=session.env, check=True, timeout=10)


def run(session):
    display = session.setup()
    session.start_app()
    x = Attacker(display)
    wait_for(x.keyboard_is_grabbed_by_another, 20, "the lock at start-up")
    time.sleep(1.0)
    intruder = x.intruder()

    attacks = [
        ("every top-level window unmapped", lambda: x.each("XUnmapWindow", x.top_level_windows())),
        ("the lock's windows lowered", lambda: x.each("XLowerWindow", lock_windows(session))),
        ("the lock's windows sent WM_DELETE_WINDOW", lambda: x.send_delete_window(lock_windows(session))),
        ("the lock's windows reparented into another",
         lambda: [x.lib.XReparentWindow(x.dpy, w, intruder, 0, 0) for w in lock_windows(session)]),
        ("the lock's windows destroyed", lambda: x.each("XDestroyWindow", lock_windows(session))),
    ]
    for what, attack in attacks:
        attack()
        x.each("XMapRaised", [intruder])
        expect_locked(session, x, what)

    # A loop of raises or circulations: after each, the lock is back on top
    # before the attacker's next look.
    for what, call in (("raise", "XRaiseWindow"), ("circulate up", "XCirculateSubwindowsUp"),
                       ("circulate down", "XCirculateSubwindowsDown")):
        for _ in range(50):
            x.each(call, [intruder if call == "XRaiseWindow" else x.root])
            time.sleep(0.005)
        expect_locked(session, x, "a loop of %s" % what)

    # Another program gives the settings another password and announces it,
    # as the pane does; then it types that password into the lock.
    preferences = os.path.join(session.env["XDG_CONFIG_HOME"], "preferences", "com.quillmere.Tarnwick.plist")
    with open(preferences, "rb") as f:
        stored = plistlib.load(f)
    stored["password"] = hashlib.md5(b"attacker").hexdigest()
    with open(preferences, "wb") as f:
        plistlib.dump(stored, f)
    announce_change(session)
    time.sleep(1.5)
    session.xdotool("key", "Escape")
    time.sleep(0.5)
    session.xdotool("type", "--delay", "30", "attacker")
    session.xdotool("key", "Return")
    time.sleep(1.0)
    expect_locked(session, x, "a password written into the settings while locked")
    time.sleep(2.0)

    # The lock window still takes the password it began with.
    session.xdotool("key", "Escape")
    time.sleep(0.5)
    session.xdotool("type", "--delay", "30", PASSWORD)
    session.xdotool("key", "Return")
    wait_for(lambda: not x.keyboard_is_grabbed_by_another(), 10, "the unlock by password after the attacks")
    check(not session.covers(), "the password unlocks after every attack")
    x.close()


def main():
    return lock_cycle.run_script(run)

if __name__ == "__main__":
    sys.exit(main())
