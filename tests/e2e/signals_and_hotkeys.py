#!/usr/bin/env python3
"""End-to-end: ways to undo a lock from outside, and hot keys that hold.

- Signals whose default action would end the process are refused while the
  screen is locked: the process lives and the keyboard stays grabbed.
  SIGTERM while unlocked ends it cleanly with "stopNotification" on the bus.
- The lock hot key locks at every press: five locks in a row, the hot key
  released each time while the lock holds the keyboard.
- Without stored hot keys, typing letters into another window never locks
  and the letters reach that window.
- A keyboard map with grab:break_actions is reported at start-up, and its
  XF86Ungrab key does not open the lock.
- A Wayland session is refused with a dialog and a non-zero exit status.

Exit status 77 means a required program is missing (the test is skipped).
"""

import ctypes
import os
import plistlib
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lock_cycle  # noqa: E402
from lock_cycle import Failure, check, wait_for  # noqa: E402

REFUSED_WHILE_LOCKED = [signal.SIGTERM, signal.SIGINT, signal.SIGHUP, signal.SIGQUIT, signal.SIGUSR1,
                        signal.SIGALRM]
# Logged at level 7 when the screen has locked.
LOCKED_EVENT = "ScriptHandler got event com.quillmere.Tarnwick.screenLockedEvent"
KEY_PRESS = 2
KEY_PRESS_MASK = 1
REVERT_TO_PARENT = 2


class KeyCatcher(lock_cycle.X11):
    """A window of the test's own that has the input focus and counts the key
    presses it receives."""

    def __init__(self, display):
        super().__init__(display)
        lib = self.lib
        lib.XCreateSimpleWindow.restype = ctypes.c_ulong
        lib.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                            ctypes.c_uint, ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong,
                                            ctypes.c_ulong]
        lib.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        lib.XMapRaised.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        lib.XSetInputFocus.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_ulong]
        lib.XPending.argtypes = [ctypes.c_void_p]
        lib.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        self.window = lib.XCreateSimpleWindow(self.dpy, self.root, 0, 0, 300, 100, 0, 0, 0)
        lib.XSelectInput(self.dpy, self.window, KEY_PRESS_MASK)
        lib.XMapRaised(self.dpy, self.window)
        # Without a window manager the window is viewable once the server
        # has the request, so it can take the focus at once.
        lib.XSync(self.dpy, 0)
        lib.XSetInputFocus(self.dpy, self.window, REVERT_TO_PARENT, 0)
        lib.XSync(self.dpy, 0)
        self.presses = 0

    def count_presses(self):
        event = ctypes.create_string_buffer(192)
        self.lib.XSync(self.dpy, 0)
        while self.lib.XPending(self.dpy):
            self.lib.XNextEvent(self.dpy, event)
            if ctypes.c_int.from_buffer(event, 0).value == KEY_PRESS:
                self.presses += 1
        return self.presses


def new_session(arguments, name, preferences=None):
    artifacts = os.path.join(arguments.artifacts, name)
    os.makedirs(artifacts, exist_ok=True)
    return lock_cycle.Session(arguments.app, arguments.pane, artifacts, preferences)


def signals_and_hot_key(session):
    display = session.setup()
    x = lock_cycle.X11(display)
    session.start_app()
    wait_for(x.keyboard_is_grabbed_by_another, 20, "the start-up lock")

    for number in REFUSED_WHILE_LOCKED:
        name = signal.Signals(number).name
        session.app_process.send_signal(number)
        wait_for(lambda: session.logged(name + " refused: the screen is locked"), 5, "the refusal of " + name)
        check(session.app_process.poll() is None and x.keyboard_is_grabbed_by_another(),
              name + " while locked: the process lives and the keyboard stays grabbed")
    session.app_process.send_signal(signal.SIGPIPE)
    time.sleep(0.5)
    check(session.app_process.poll() is None and x.keyboard_is_grabbed_by_another(),
          "SIGPIPE while locked: the process lives and the keyboard stays grabbed")
    lock_cycle.unlock_by_password(session, x)

    # The hot key is released only once the lock holds the keyboard, so
    # that release never reaches the root window.
    for attempt in range(1, 6):
        locks = session.log().count(LOCKED_EVENT)
        session.xdotool("keydown", lock_cycle.HOTKEY_XDOTOOL)
        try:
            wait_for(lambda: session.log().count(LOCKED_EVENT) > locks, 5, "lock number %d by the hot key" % attempt)
        finally:
            session.xdotool("keyup", lock_cycle.HOTKEY_XDOTOOL)
        check(x.keyboard_is_grabbed_by_another(), "press number %d of the hot key locks" % attempt)
        lock_cycle.unlock_by_password(session, x)

    session.app_process.send_signal(signal.SIGTERM)
    try:
        status = session.app_process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        raise Failure("SIGTERM while unlocked did not end the application")
    check(status == 0, "SIGTERM while unlocked ends the application cleanly (status %d)" % status)
    time.sleep(0.5)
    with open(session.bus_log_path) as f:
        check('"stopNotification"' in f.read(), "stopNotification is seen on the bus after SIGTERM")
    x.close()


def remove_stored_hot_keys(session):
    path = os.path.join(session.tmp, "home", ".config", "preferences", "com.quillmere.Tarnwick.plist")
    with open(path, "rb") as f:
        preferences = plistlib.load(f)
    for key in ("lockScreenHotKeyCode", "lockScreenHotKeyModifiers", "showLogHotKeyCode", "showLogHotKeyModifiers"):
        preferences.pop(key, None)
    with open(path, "wb") as f:
        plistlib.dump(preferences, f)


def typing_without_hot_keys(session):
    display = session.setup()
    remove_stored_hot_keys(session)
    session.start_app()
    wait_for(lambda: '"startNotification"' in open(session.bus_log_path).read(), 20, "the start-up")
    catcher = KeyCatcher(display)
    text = "a quick brown fox jumps over the lazy dog"
    session.xdotool("type", "--delay", "20", text)
    time.sleep(1.0)
    check(catcher.count_presses() == len(text), "the typed letters reach the focused window (%d of %d)"
          % (catcher.presses, len(text)))
    check(not catcher.keyboard_is_grabbed_by_another() and not session.covers(),
          "typing without stored hot keys never locks")
    check(session.app_process.poll() is None, "the application keeps running")
    check(not session.logged('refused the hot key'), "hot keys that were never stored are not reported as refused")
    catcher.close()


def grab_breaking_keymap(session):
    display = session.setup()
    subprocess.run(["setxkbmap", "-option", "grab:break_actions"], env=session.env, check=True)
    x = lock_cycle.X11(display)
    holder = lock_cycle.X11(display)
    holder.grab_keyboard()
    session.xdotool("key", "XF86Ungrab")
    check(not x.keyboard_is_grabbed_by_another(), "the XF86Ungrab key ends another client's grab here")
    holder.close()
    session.start_app()
    wait_for(x.keyboard_is_grabbed_by_another, 20, "the start-up lock")
    check(session.logged("lets anyone at the keyboard break the lock's grab"),
          "a keyboard map with grab:break_actions is reported at start-up")
    session.xdotool("key", "XF86Ungrab")
    time.sleep(0.5)
    check(x.keyboard_is_grabbed_by_another() and session.app_process.poll() is None,
          "XF86Ungrab while locked: the keyboard stays grabbed")
    x.close()


def wayland_refused(session):
    # No compositor answers there: the refusal is shown on the X display.
    session.extra_env = {"WAYLAND_DISPLAY": "tarnwick-no-such-compositor"}
    session.setup()
    session.start_app()
    found = []

    # The dialog's window is named before it is mapped, and Qt's own hidden
    # window bears the same name: only a viewable window can take the focus.
    def dialog():
        found[:] = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Tarnwick$"], env=session.env,
                                  capture_output=True, text=True).stdout.split()
        return bool(found)

    wait_for(dialog, 20, "the dialog that refuses the Wayland session")
    check(session.logged("cannot reach the Wayland compositor"), "the refusal names the compositor in the log")
    session.xdotool("windowfocus", "--sync", found[0])
    session.xdotool("key", "Return")
    try:
        status = session.app_process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        raise Failure("the application did not end after its refusal was acknowledged")
    check(status != 0, "a refused Wayland session ends with a non-zero status (%d)" % status)


def main():
    arguments = lock_cycle.parse_arguments()
    lock_cycle.require_programs()
    if not shutil.which("setxkbmap"):
        print("SKIP: setxkbmap is not installed", flush=True)
        return lock_cycle.SKIP
    scenarios = [("signals-and-hot-key", {}, signals_and_hot_key),
                 ("typing-without-hot-keys", {"lockOnStartup": False}, typing_without_hot_keys),
                 ("grab-breaking-keymap", {}, grab_breaking_keymap),
                 ("wayland", {}, wayland_refused)]
    failed = 0
    for name, preferences, scenario in scenarios:
        print("# " + name, flush=True)
        session = new_session(arguments, name, preferences)
        failed += lock_cycle.run_reporting(session, lambda: scenario(session))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
