#!/usr/bin/env python3
"""End-to-end: other clients raise their windows above a locked Tarnwick in tight loops.

Each attack of the table floods the X server for six seconds: the user's own window raised, an override-redirect
window of the attacker's raised, the root's children circulated, a child of the composite overlay window raised. The
screenshots taken meanwhile must show no pixel of the attacker's window nor of the desktop: in the overlay window the
lock is above every child of the root; without it (no Composite extension, or a compositing manager painting the
screen) the attacker's window is hidden once it got above the lock, and raising it again shows nothing (the
screenshots begin a second after it was mapped, the time the lock may take to answer its first event). The keyboard
stays grabbed and the right password typed half a second after the flood must unlock. Between attacks the hot key
locks again.

--setup chooses the X server: "composite" (the Composite extension, as every desktop has it), "plain" (without it)
or "compositor" (with the picom compositing manager painting the screen, started while the screen is locked).

Exit status 77 means a required program is missing (the test is skipped).
"""

import ctypes
import ctypes.util
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lock_cycle  # noqa: E402
from lock_cycle import DESKTOP_COLOUR, HOTKEY_XDOTOOL, PASSWORD, SKIP, check, wait_for  # noqa: E402

ATTACKER_COLOUR = "#ff0000"
ATTACKER_PIXEL = 0xFF0000
FLOOD_SECONDS = 6.0
# How long after the flood the password is typed.
TYPING_DELAY = 0.5
# Without the overlay window, the attacker's window shows from its first raise until the lock has answered that event
# (a few round trips to a server the flood keeps busy): the screenshots begin this long after it was mapped.
ANSWER_SECONDS = 1.0

# The attacks: each a window of the attacker's colour, mapped once, then one call made again and again.
ATTACKS = [
    # name, where the window is made, the call repeated, needs the overlay window
    ("the user's own window raised", "normal", "XRaiseWindow", False),
    ("an override-redirect window raised", "override-redirect", "XRaiseWindow", False),
    ("the root's children circulated", "override-redirect", "XCirculateSubwindowsUp", False),
    ("a child of the overlay window raised", "overlay", "XRaiseWindow", True),
]


# ---- the attacker, run as a process of its own --------------------------

def flood(kind, call, seconds):
    """Maps a window of the attacker's colour and repeats `call` on it (or on the root) until `seconds` passed."""
    lib = ctypes.CDLL(ctypes.util.find_library("X11"))
    lib.XOpenDisplay.restype = ctypes.c_void_p
    lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    lib.XDefaultRootWindow.restype = ctypes.c_ulong
    lib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    lib.XCreateWindow.restype = ctypes.c_ulong
    lib.XCreateWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                  ctypes.c_uint, ctypes.c_uint, ctypes.c_int, ctypes.c_uint, ctypes.c_void_p,
                                  ctypes.c_ulong, ctypes.c_void_p]
    for name in ("XMapRaised", "XRaiseWindow", "XCirculateSubwindowsUp"):
        getattr(lib, name).argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    for name in ("XFlush", "XSync"):
        getattr(lib, name).argtypes = [ctypes.c_void_p] + ([ctypes.c_int] if name == "XSync" else [])
    dpy = lib.XOpenDisplay(None)
    root = lib.XDefaultRootWindow(dpy)
    parent = root
    if kind == "overlay":
        composite = ctypes.CDLL(ctypes.util.find_library("Xcomposite"))
        composite.XCompositeGetOverlayWindow.restype = ctypes.c_ulong
        composite.XCompositeGetOverlayWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        parent = composite.XCompositeGetOverlayWindow(dpy, root)
    # XSetWindowAttributes: background_pixel at offset 8, override_redirect at offset 88.
    attributes = ctypes.create_string_buffer(112)
    ctypes.c_ulong.from_buffer(attributes, 8).value = ATTACKER_PIXEL
    mask = 1 << 1  # CWBackPixel
    if kind != "normal":
        ctypes.c_int.from_buffer(attributes, 88).value = 1
        mask |= 1 << 9  # CWOverrideRedirect
    window = lib.XCreateWindow(dpy, parent, 0, 0, 1280, 800, 0, 0, 1, None, mask, attributes)
    lib.XMapRaised(dpy, window)
    lib.XSync(dpy, 0)
    print("# mapped", flush=True)
    target = root if call == "XCirculateSubwindowsUp" else window
    repeat = getattr(lib, call)
    calls = 0
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        for _ in range(200):
            repeat(dpy, target)
        lib.XFlush(dpy)
        calls += 200
    lib.XSync(dpy, 0)
    print("# %d calls of %s in %.1f s" % (calls, call, seconds), flush=True)


# ---- the scenario ---------------------------------------------------------

def colour_share(path, colour):
    """The share of the screenshot's pixels that have this colour."""
    output = subprocess.run(["convert", path, "-fill", "black", "+opaque", colour, "-fill", "white", "-opaque",
                             colour, "-format", "%[fx:mean]", "info:"], capture_output=True, text=True, check=True)
    return float(output.stdout)


def has_overlay_window(session):
    extensions = subprocess.run(["xdpyinfo", "-queryExtensions"], env=session.env, capture_output=True,
                                text=True).stdout
    return "Composite" in extensions


def start_compositor(session, x):
    """picom paints the screen into the overlay window, as a desktop's compositing manager does."""
    log = open(os.path.join(session.artifacts, "picom.log"), "w")
    session.processes.append(subprocess.Popen(["picom", "--backend", "xrender", "--config", "/dev/null"],
                                              env=session.env, stdout=log, stderr=log))
    lib = x.lib
    lib.XInternAtom.restype = ctypes.c_ulong
    lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    lib.XGetSelectionOwner.restype = ctypes.c_ulong
    lib.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    selection = lib.XInternAtom(x.dpy, b"_NET_WM_CM_S0", 0)
    wait_for(lambda: lib.XGetSelectionOwner(x.dpy, selection) != 0, 10, "picom to take the screen")


def attack(session, x, name, kind, call):
    """One flood; screenshots while it lasts; the password after it."""
    attacker = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--flood", kind, call,
                                 str(FLOOD_SECONDS)], env=session.env, stdout=subprocess.PIPE, text=True)
    check(attacker.stdout.readline().startswith("# mapped"), "%s: the attacker's window is mapped" % name)
    time.sleep(ANSWER_SECONDS)
    shots = 0
    while attacker.poll() is None:
        path, _ = session.screenshot("flood.png")
        if attacker.poll() is not None:
            break
        shots += 1
        shown = max(colour_share(path, ATTACKER_COLOUR), colour_share(path, DESKTOP_COLOUR))
        check(shown == 0.0, "%s: screenshot %d shows neither the attacker's window nor the desktop (%.4f)"
              % (name, shots, shown))
    print(attacker.stdout.read(), end="", flush=True)
    check(attacker.wait() == 0, "%s: the attacker ran" % name)
    check(shots >= 2, "%s: %d screenshots were taken during the flood" % (name, shots))
    check(x.keyboard_is_grabbed_by_another(), "%s: the keyboard stays grabbed" % name)

    time.sleep(TYPING_DELAY)
    refused = session.log().count("wrongPasswordEvent")
    session.xdotool("key", "Escape")
    session.xdotool("type", "--delay", "30", PASSWORD)
    session.xdotool("key", "Return")
    wait_for(lambda: not x.keyboard_is_grabbed_by_another(), 10, "the unlock after: " + name)
    check(session.log().count("wrongPasswordEvent") == refused,
          "%s: the password typed %.1f s after the flood unlocks at once" % (name, TYPING_DELAY))


def run(session, setup):
    if setup == "plain":
        session.xvfb_options = ["-extension", "Composite"]
    display = session.setup()
    x = lock_cycle.X11(display)
    overlay = has_overlay_window(session)
    check(overlay == (setup != "plain"), "the X server %s the Composite extension" % (
        "has" if overlay else "lacks"))
    session.start_app()
    wait_for(x.keyboard_is_grabbed_by_another, 20, "the lock at start-up")
    if setup == "compositor":
        # It starts while the screen is locked; the hot key locks later ones with it running.
        start_compositor(session, x)

    # The lock window shows over everything, compositing manager or not.
    time.sleep(1.2)
    session.xdotool("key", "Escape")
    wait_for(lambda: session.logged("KEY DOWN while dimmed"), 5, "the lock window to wake")
    time.sleep(0.5)
    _, average = session.screenshot("locked-%s.png" % setup)
    check(min(average) > 200, "the locked screen shows the lock window (average colour %s)" % (average,))

    first = True
    for name, kind, call, needs_overlay in ATTACKS:
        if needs_overlay and not overlay:
            print("# skipped without the Composite extension: " + name, flush=True)
            continue
        if not first:
            time.sleep(0.5)
            session.xdotool("key", HOTKEY_XDOTOOL)
            wait_for(x.keyboard_is_grabbed_by_another, 10, "the lock by the hot key before: " + name)
            time.sleep(1.2)
        first = False
        attack(session, x, name, kind, call)
    x.close()


def main():
    if sys.argv[1:2] == ["--flood"]:
        flood(sys.argv[2], sys.argv[3], float(sys.argv[4]))
        return 0
    setup = "composite"
    if "--setup" in sys.argv:
        at = sys.argv.index("--setup")
        setup = sys.argv[at + 1]
        del sys.argv[at:at + 2]
    if setup == "compositor" and not shutil.which("picom"):
        print("SKIP: picom is not installed (Debian: picom); the lock is not tested under a compositing manager",
              flush=True)
        return SKIP
    if not shutil.which("xdpyinfo"):
        print("SKIP: xdpyinfo is not installed", flush=True)
        return SKIP
    return lock_cycle.run_script(lambda session: run(session, setup))


if __name__ == "__main__":
    sys.exit(main())
