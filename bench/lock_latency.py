#!/usr/bin/env python3
"""How long a lock takes from the hot key to the keyboard grab (fades off).

Runs Tarnwick's desktop backend on a private Xvfb display and session bus,
presses the lock hot key with XTEST and times the moment the application's
keyboard grab takes the focus away from a probe window (a FocusOut event of
mode NotifyGrab, seen after the hot key's own passive grab has ended). The
probe never grabs anything itself, so it does not disturb the lock. Each run
is unlocked with the password before the next one.

    bench/lock_latency.py --build build/default [--runs 9]
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

FOCUS_IN, FOCUS_OUT = 9, 10
NOTIFY_GRAB, NOTIFY_UNGRAB = 1, 2
FOCUS_CHANGE_MASK = 1 << 21
REVERT_TO_PARENT = 2


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
        x11.XSelectInput(self.dpy, self.window, FOCUS_CHANGE_MASK)
        x11.XMapWindow(self.dpy, self.window)
        x11.XSync(self.dpy, 0)
        time.sleep(0.2)
        self.keys = [x11.XKeysymToKeycode(self.dpy, x11.XStringToKeysym(name))
                     for name in (b"Control_L", b"Alt_L", b"l")]
        self.event = ctypes.create_string_buffer(192)

    def focus(self):
        self.x11.XSetInputFocus(self.dpy, self.window, REVERT_TO_PARENT, 0)
        self.x11.XSync(self.dpy, 0)
        self.drain()

    def drain(self):
        while self.x11.XPending(self.dpy):
            self.x11.XNextEvent(self.dpy, self.event)

    def next_focus_event(self, deadline):
        while time.monotonic() < deadline:
            if self.x11.XPending(self.dpy):
                self.x11.XNextEvent(self.dpy, self.event)
                kind = ctypes.c_int.from_buffer(self.event, 0).value
                mode = ctypes.c_int.from_buffer(self.event, 40).value
                if kind in (FOCUS_IN, FOCUS_OUT):
                    return kind, mode
            else:
                time.sleep(0.0002)
        raise lock_cycle.Failure("no focus event")

    def press_hotkey(self):
        for key in self.keys:
            self.xtst.XTestFakeKeyEvent(self.dpy, key, 1, 0)
        for key in reversed(self.keys):
            self.xtst.XTestFakeKeyEvent(self.dpy, key, 0, 0)
        self.x11.XFlush(self.dpy)
        return time.monotonic()

    def wait_for(self, wanted_kind, wanted_mode, timeout=10):
        deadline = time.monotonic() + timeout
        while True:
            kind, mode = self.next_focus_event(deadline)
            if kind == wanted_kind and mode == wanted_mode:
                return time.monotonic()


def measure(session, probe):
    probe.focus()
    pressed = probe.press_hotkey()
    # The hot key's own passive grab comes and goes with the key press.
    probe.wait_for(FOCUS_IN, NOTIFY_UNGRAB)
    grabbed = probe.wait_for(FOCUS_OUT, NOTIFY_GRAB)
    return (grabbed - pressed) * 1000.0


def unlock(session, probe):
    time.sleep(1.2)
    session.xdotool("key", "Escape")
    session.xdotool("type", "--delay", "10", lock_cycle.PASSWORD)
    session.xdotool("key", "Return")
    probe.wait_for(FOCUS_IN, NOTIFY_UNGRAB)
    time.sleep(0.3)


def main():
    arguments = bench_session.options(default_runs=9)
    session = bench_session.session(arguments.build, {"lockOnStartup": False, "logLevel": 4, "fadingEnabled": False})
    try:
        display = session.setup()
        probe = Probe(display)
        session.start_app()
        time.sleep(1.5)
        samples = []
        for run in range(arguments.runs):
            samples.append(measure(session, probe))
            print("run %d: %.1f ms" % (run + 1, samples[-1]), flush=True)
            unlock(session, probe)
        bench_session.report("hot key to keyboard grab, fades off", samples)
    except lock_cycle.Failure as failure:
        print("FAIL: %s" % failure)
        return 1
    finally:
        session.teardown()
    return 0


if __name__ == "__main__":
    sys.exit(main())
