#!/usr/bin/env python3
"""How long a lock takes from the hot key to the keyboard grab and to the
screen being covered, and an unlock from Return to the keyboard's release
(fades off).

Runs Tarnwick's desktop backend on a private Xvfb display and session bus.
A probe window holds the focus; it sees the application's keyboard grab take
the focus away (a FocusOut event of mode NotifyGrab, after the hot key's own
passive grab has ended) and the lock cover it (VisibilityNotify, fully
obscured). Each trigger, the hot key and the Return that ends the password,
is pressed with XTEST after a random pause of up to 0.2 s, so that no timer
of the application lines up with the benchmark. The probe never grabs
anything itself, so it does not disturb the lock.

    bench/lock_latency.py --build build/default [--runs 30]
"""

import ctypes
import ctypes.util
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import lock_cycle  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_session  # noqa: E402

FOCUS_IN, FOCUS_OUT, VISIBILITY_NOTIFY = 9, 10, 15
NOTIFY_GRAB, NOTIFY_UNGRAB = 1, 2
UNOBSCURED, FULLY_OBSCURED = 0, 2
VISIBILITY_CHANGE_MASK = 1 << 16
FOCUS_CHANGE_MASK = 1 << 21
REVERT_TO_PARENT = 2
HOTKEY = (b"Control_L", b"Alt_L", b"l")

GRAB_MEDIAN_TARGET_MS, GRAB_MAX_TARGET_MS, UNLOCK_TARGET_MS = 5.0, 15.0, 2.0


class Probe:
    def __init__(self, display):
        x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
        xtst = ctypes.CDLL(ctypes.util.find_library("Xtst"))
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XCreateSimpleWindow.restype = ctypes.c_ulong
        x11.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                            ctypes.c_uint, ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong,
                                            ctypes.c_ulong]
        x11.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        x11.XMapWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x11.XSetInputFocus.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_ulong]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XFlush.argtypes = [ctypes.c_void_p]
        x11.XPending.argtypes = [ctypes.c_void_p]
        x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        x11.XStringToKeysym.restype = ctypes.c_ulong
        x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.x11, self.xtst = x11, xtst
        self.dpy = x11.XOpenDisplay(display.encode())
        root = x11.XDefaultRootWindow(self.dpy)
        self.window = x11.XCreateSimpleWindow(self.dpy, root, 0, 0, 100, 100, 0, 0, 0)
        x11.XSelectInput(self.dpy, self.window, FOCUS_CHANGE_MASK | VISIBILITY_CHANGE_MASK)
        x11.XMapWindow(self.dpy, self.window)
        x11.XSync(self.dpy, 0)
        time.sleep(0.2)
        self.event = ctypes.create_string_buffer(192)

    def keycodes(self, names):
        return [self.x11.XKeysymToKeycode(self.dpy, self.x11.XStringToKeysym(name)) for name in names]

    def focus(self):
        self.x11.XSetInputFocus(self.dpy, self.window, REVERT_TO_PARENT, 0)
        self.x11.XSync(self.dpy, 0)
        self.drain()

    def drain(self):
        while self.x11.XPending(self.dpy):
            self.x11.XNextEvent(self.dpy, self.event)

    def next_event(self, deadline):
        """(kind, mode or state, arrival time) of the next focus or visibility event."""
        while time.monotonic() < deadline:
            if self.x11.XPending(self.dpy):
                self.x11.XNextEvent(self.dpy, self.event)
                arrived = time.monotonic()
                kind = ctypes.c_int.from_buffer(self.event, 0).value
                # FocusChange's mode and Visibility's state share this offset.
                detail = ctypes.c_int.from_buffer(self.event, 40).value
                if kind in (FOCUS_IN, FOCUS_OUT, VISIBILITY_NOTIFY):
                    return kind, detail, arrived
            else:
                time.sleep(0.0002)
        raise lock_cycle.Failure("no focus or visibility event")

    def press(self, keys):
        """Presses and releases `keys` (a chord) at once; the moment it was sent."""
        for key in keys:
            self.xtst.XTestFakeKeyEvent(self.dpy, key, 1, 0)
        for key in reversed(keys):
            self.xtst.XTestFakeKeyEvent(self.dpy, key, 0, 0)
        self.x11.XFlush(self.dpy)
        return time.monotonic()

    def wait_for(self, focus_steps, visibility, timeout=10):
        """Arrival times of the last of `focus_steps`, focus events seen in
        that order, and of the first visibility event of state `visibility`."""
        deadline = time.monotonic() + timeout
        focused, visible = [], None
        while len(focused) < len(focus_steps) or visible is None:
            kind, detail, arrived = self.next_event(deadline)
            if kind == VISIBILITY_NOTIFY:
                if detail == visibility and visible is None:
                    visible = arrived
            elif len(focused) < len(focus_steps) and (kind, detail) == focus_steps[len(focused)]:
                focused.append(arrived)
        return focused[-1], visible


def lock(probe, hotkey):
    probe.focus()
    bench_session.random_pause()
    pressed = probe.press(hotkey)
    # The hot key's own passive grab comes and goes with the key press.
    grabbed, covered = probe.wait_for([(FOCUS_IN, NOTIFY_UNGRAB), (FOCUS_OUT, NOTIFY_GRAB)], FULLY_OBSCURED)
    return (grabbed - pressed) * 1000.0, (covered - pressed) * 1000.0


def unlock(session, probe, return_key):
    # A key within the lock's first second does not wake the prompt.
    time.sleep(1.2)
    session.xdotool("key", "Escape")
    session.xdotool("type", "--delay", "10", lock_cycle.PASSWORD)
    time.sleep(0.1)
    probe.drain()
    bench_session.random_pause()
    pressed = probe.press(return_key)
    released, _ = probe.wait_for([(FOCUS_IN, NOTIFY_UNGRAB)], UNOBSCURED)
    time.sleep(0.3)
    return (released - pressed) * 1000.0


def run(session, runs):
    display = session.setup()
    probe = Probe(display)
    hotkey, return_key = probe.keycodes(HOTKEY), probe.keycodes([b"Return"])
    session.start_app()
    time.sleep(1.5)
    grabs, covers, releases = [], [], []
    for number in range(runs):
        grab, cover = lock(probe, hotkey)
        grabs.append(grab)
        covers.append(cover)
        releases.append(unlock(session, probe, return_key))
        print("run %d: grab %.1f ms, covered %.1f ms, released %.1f ms" %
              (number + 1, grabs[-1], covers[-1], releases[-1]), flush=True)
    bench_session.report("hot key to keyboard grab, fades off", grabs, GRAB_MEDIAN_TARGET_MS, GRAB_MAX_TARGET_MS)
    bench_session.report("hot key to screen covered, fades off", covers)
    bench_session.report("Return to keyboard released, fades off", releases, UNLOCK_TARGET_MS)


def main():
    arguments = bench_session.options(default_runs=30)
    preferences = {"lockOnStartup": False, "logLevel": 4, "fadingEnabled": False}
    return bench_session.run(arguments.build, preferences, lambda session: run(session, arguments.runs))


if __name__ == "__main__":
    sys.exit(main())
