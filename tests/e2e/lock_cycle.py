#!/usr/bin/env python3
"""End-to-end lock cycle of Tarnwick on a private X server and session bus.

Starts Xvfb, a private dbus-daemon and Tarnwick with a stored password and
"lockOnStartup", then checks what a user sees: a refused lock while another
client holds the keyboard, a lock by the hot key with the keyboard grabbed and
every monitor covered, a wrong password, a refused quit while locked, the
right password, and a quit afterwards that announces "stopNotification" on
the bus. A screenshot of the locked screen is kept as an artifact.

Exit status 77 means a required program is missing (the test is skipped).
"""

import argparse
import ctypes
import ctypes.util
import hashlib
import os
import plistlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
PASSWORD = "s3cret"
DESKTOP_COLOUR = "#3366cc"
# Control+Option+L, as the pane stores it: a macOS key code and Carbon flags.
HOTKEY_MAC_CODE = 37
HOTKEY_CARBON = 0x1000 | 0x0800
HOTKEY_XDOTOOL = "ctrl+alt+l"

GRAB_SUCCESS = 0
ALREADY_GRABBED = 1

# How long a minute of the inactivity settings lasts in the application under
# test: a build with test hooks honours this variable (the tests' CMake sets it).
MINUTE = float(os.environ.get("TARNWICK_TEST_SECONDS_PER_MINUTE", "60"))


class Failure(Exception):
    pass


def require_programs():
    missing = [p for p in ("Xvfb", "xdotool", "dbus-daemon", "dbus-send", "dbus-monitor", "xwininfo",
                           "xsetroot", "import", "convert") if not shutil.which(p)]
    if missing:
        print("SKIP: missing programs: " + ", ".join(missing), flush=True)
        sys.exit(SKIP)
    if not ctypes.util.find_library("X11"):
        print("SKIP: libX11 is not installed", flush=True)
        sys.exit(SKIP)


class X11:
    """The few Xlib calls the test makes itself: keyboard grabs."""

    def __init__(self, display):
        self.lib = ctypes.CDLL(ctypes.util.find_library("X11"))
        self.lib.XOpenDisplay.restype = ctypes.c_void_p
        self.lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.lib.XDefaultRootWindow.restype = ctypes.c_ulong
        self.lib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.lib.XGrabKeyboard.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                           ctypes.c_int, ctypes.c_ulong]
        self.lib.XUngrabKeyboard.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.lib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.dpy = self.lib.XOpenDisplay(display.encode())
        if not self.dpy:
            raise Failure("cannot open display " + display)
        self.root = self.lib.XDefaultRootWindow(self.dpy)

    def grab_keyboard(self):
        status = self.lib.XGrabKeyboard(self.dpy, self.root, 0, 1, 1, 0)
        self.lib.XSync(self.dpy, 0)
        return status

    def ungrab_keyboard(self):
        self.lib.XUngrabKeyboard(self.dpy, 0)
        self.lib.XSync(self.dpy, 0)

    def keyboard_is_grabbed_by_another(self):
        """Tries a grab and gives it back at once."""
        status = self.grab_keyboard()
        if status == GRAB_SUCCESS:
            self.ungrab_keyboard()
        return status == ALREADY_GRABBED

    def become_tray(self):
        """Owns the system tray selection, as a panel does when it starts."""
        lib = self.lib
        lib.XInternAtom.restype = ctypes.c_ulong
        lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        lib.XCreateSimpleWindow.restype = ctypes.c_ulong
        lib.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                            ctypes.c_uint, ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong,
                                            ctypes.c_ulong]
        lib.XSetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong]
        lib.XPending.argtypes = [ctypes.c_void_p]
        lib.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        self.tray_opcode = lib.XInternAtom(self.dpy, b"_NET_SYSTEM_TRAY_OPCODE", 0)
        selection = lib.XInternAtom(self.dpy, b"_NET_SYSTEM_TRAY_S0", 0)
        self.tray = lib.XCreateSimpleWindow(self.dpy, self.root, 0, 0, 1, 1, 0, 0, 0)
        lib.XSetSelectionOwner(self.dpy, selection, self.tray, 0)
        self.lib.XSync(self.dpy, 0)

    def dock_requested(self):
        """A client asked the tray to dock its icon (SYSTEM_TRAY_REQUEST_DOCK)."""
        event = ctypes.create_string_buffer(192)
        while self.lib.XPending(self.dpy):
            self.lib.XNextEvent(self.dpy, event)
            kind = ctypes.c_int.from_buffer(event, 0).value
            message_type = ctypes.c_ulong.from_buffer(event, 40).value
            opcode = ctypes.c_long.from_buffer(event, 64).value
            if kind == 33 and message_type == self.tray_opcode and opcode == 0:
                return True
        return False

    def overlay(self):
        """The composite overlay window, where the lock lives when the server has the Composite extension (else 0).
        The request for it is given back at once."""
        path = ctypes.util.find_library("Xcomposite")
        if not path:
            return 0
        composite = ctypes.CDLL(path)
        composite.XCompositeQueryExtension.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                                       ctypes.POINTER(ctypes.c_int)]
        composite.XCompositeGetOverlayWindow.restype = ctypes.c_ulong
        composite.XCompositeGetOverlayWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        composite.XCompositeReleaseOverlayWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        event, error = ctypes.c_int(), ctypes.c_int()
        if not composite.XCompositeQueryExtension(self.dpy, ctypes.byref(event), ctypes.byref(error)):
            return 0
        window = composite.XCompositeGetOverlayWindow(self.dpy, self.root)
        composite.XCompositeReleaseOverlayWindow(self.dpy, self.root)
        self.lib.XSync(self.dpy, 0)
        return window

    def close(self):
        self.lib.XCloseDisplay(self.dpy)


def wait_for(predicate, timeout, what, interval=0.02):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(interval)
    raise Failure("timed out waiting for " + what)


class Session:
    def __init__(self, app, pane, artifacts, preferences=None):
        self.app = app
        self.preference_overrides = preferences or {}
        self.pane = pane
        self.artifacts = artifacts
        self.tmp = tempfile.mkdtemp(prefix="tarnwick-e2e-")
        self.processes = []
        self.env = None
        self.log_path = os.path.join(artifacts, "tarnwick.log")
        self.bus_log_path = os.path.join(artifacts, "bus.log")
        self.app_process = None
        self.extra_env = {}
        # Further options of the X server (for example "-extension Composite").
        self.xvfb_options = []

    # -- environment ------------------------------------------------------

    def start_x(self):
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x800x24",
                                 "-nolisten", "tcp", "-noreset", *self.xvfb_options], pass_fds=[write_fd],
                                stderr=subprocess.DEVNULL)
        os.close(write_fd)
        self.processes.append(xvfb)
        number = b""
        with os.fdopen(read_fd, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise Failure("Xvfb did not start")
                number += chunk
        return ":" + number.decode().strip()

    def start_bus(self):
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.processes.append(bus)
        address = bus.stdout.readline().decode().strip()
        if not address:
            raise Failure("dbus-daemon did not start")
        return address

    def write_preferences(self, home):
        config = os.path.join(home, ".config")
        data = os.path.join(home, ".local", "share")
        panes = os.path.join(data, "PreferencePanes")
        os.makedirs(os.path.join(config, "preferences"))
        os.makedirs(panes)
        os.makedirs(os.path.join(home, ".cache"))
        os.makedirs(os.path.join(self.tmp, "no-system-data"))
        os.symlink(self.pane, os.path.join(panes, "Tarnwick.prefPane"))
        preferences = {
            "password": hashlib.md5(PASSWORD.encode()).hexdigest(),
            "lockOnStartup": True,
            "fadingEnabled": False,
            "whiteScreenDelay": False,
            # The tray icon waits for a tray that never comes on Xvfb.
            "showInMenu": True,
            "logLevel": 7,
            "lockScreenHotKeyCode": HOTKEY_MAC_CODE,
            "lockScreenHotKeyModifiers": HOTKEY_CARBON,
            "showLogOnUnlock": False,
        }
        preferences.update(self.preference_overrides)
        with open(os.path.join(config, "preferences", "com.quillmere.Tarnwick.plist"), "wb") as f:
            plistlib.dump(preferences, f)
        screensaver = os.path.join(home, "Library", "Preferences", "com.apple.screensaver.plist")
        if os.path.exists(screensaver):
            os.remove(screensaver)
        return config, data

    def setup(self):
        home = os.path.join(self.tmp, "home")
        os.makedirs(home)
        config, data = self.write_preferences(home)
        runtime = os.path.join(self.tmp, "runtime")
        os.makedirs(runtime, mode=0o700)
        display = self.start_x()
        bus = self.start_bus()
        env = dict(os.environ)
        env.update({
            "DISPLAY": display,
            "DBUS_SESSION_BUS_ADDRESS": bus,
            "HOME": home,
            "XDG_CONFIG_HOME": config,
            "XDG_DATA_HOME": data,
            "XDG_CACHE_HOME": os.path.join(home, ".cache"),
            "XDG_DATA_DIRS": os.path.join(self.tmp, "no-system-data"),
            "XDG_RUNTIME_DIR": runtime,
            "QT_QPA_PLATFORM": "xcb",
        })
        # Tarnwick refuses to start in a Wayland session.
        env.pop("WAYLAND_DISPLAY", None)
        env.pop("XDG_SESSION_TYPE", None)
        env.update(self.extra_env)
        env.pop("TARNWICK_BACKEND", None)
        env.pop("XAUTHORITY", None)
        self.env = env
        subprocess.run(["xsetroot", "-solid", DESKTOP_COLOUR], env=env, check=True)
        monitor = subprocess.Popen(["dbus-monitor", "--session",
                                    "type='signal',interface='com.quillmere.DistributedNotificationCenter'"],
                                   env=env, stdout=open(self.bus_log_path, "w"), stderr=subprocess.DEVNULL)
        self.processes.append(monitor)
        time.sleep(0.3)
        return display

    def start_app(self):
        self.app_process = subprocess.Popen([self.app], env=self.env, stdout=subprocess.DEVNULL,
                                            stderr=open(self.log_path, "w"))
        self.processes.append(self.app_process)

    def teardown(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    process.kill()
        shutil.rmtree(self.tmp, ignore_errors=True)

    # -- observations -----------------------------------------------------

    def log(self):
        with open(self.log_path, errors="replace") as f:
            return f.read()

    def logged(self, text):
        return text in self.log()

    def covers(self):
        """The lock's covers, children of the root or of the composite overlay window."""
        x = X11(self.env["DISPLAY"])
        overlay = x.overlay()
        x.close()
        trees = [["-root"]] + ([["-id", str(overlay)]] if overlay else [])
        lines = []
        for tree in trees:
            lines += subprocess.run(["xwininfo", "-tree", *tree], env=self.env, capture_output=True,
                                    text=True).stdout.splitlines()
        return [line for line in lines if '"Tarnwick cover"' in line]

    def xdotool(self, *arguments):
        subprocess.run(["xdotool", *arguments], env=self.env, check=True)

    def quit_over_bus(self):
        return subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=com.quillmere.Tarnwick", "/",
                               "com.quillmere.Connection.quit"], env=self.env, capture_output=True, text=True,
                              timeout=10)

    def screenshot(self, name):
        path = os.path.join(self.artifacts, name)
        subprocess.run(["import", "-display", self.env["DISPLAY"], "-window", "root", path], env=self.env,
                       check=True)
        average = subprocess.run(["convert", path, "-scale", "1x1!", "-format",
                                  "%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]", "info:"],
                                 capture_output=True, text=True, check=True).stdout.split()
        return path, tuple(int(v) for v in average)


def unlock_by_password(session, x, delay="30"):
    """Types the password into the lock screen, as the user does, and waits
    for the keyboard to be released. A key within the lock's first second
    does not wake the prompt."""
    time.sleep(1.2)
    session.xdotool("key", "Escape")
    session.xdotool("type", "--delay", delay, PASSWORD)
    session.xdotool("key", "Return")
    wait_for(lambda: not x.keyboard_is_grabbed_by_another(), 10, "the unlock by password")


def check(condition, message):
    if not condition:
        raise Failure(message)
    print("ok - " + message, flush=True)


def run(session):
    display = session.setup()
    x = X11(display)

    # 1. Another client holds the keyboard: the start-up lock is refused and
    #    the application keeps running, unlocked.
    check(x.grab_keyboard() == GRAB_SUCCESS, "the test client holds the keyboard")
    session.start_app()
    wait_for(lambda: session.logged("CGDisplayCaptureWithOptions() failed"), 20, "the refused capture")
    check(session.app_process.poll() is None, "the application keeps running after the refused lock")
    check(not session.covers(), "no covering window is left after the refused lock")
    x.ungrab_keyboard()

    # The session had no tray at start-up; the icon docks once one appears.
    x.become_tray()
    wait_for(x.dock_requested, 10, "the tray icon to dock", interval=0.1)
    check(True, "the tray icon docks in a tray that appears after start-up")

    # 2. The hot key locks: keyboard grabbed, the monitor covered.
    time.sleep(0.5)
    session.xdotool("key", HOTKEY_XDOTOOL)
    wait_for(x.keyboard_is_grabbed_by_another, 10, "the keyboard grab after the hot key")
    check(len(session.covers()) == 1, "one covering window per monitor is mapped")

    # 3. The first key wakes the dimmed lock window (Escape leaves the field
    #    empty); the screen shows the lock window, not the desktop.
    time.sleep(1.2)
    session.xdotool("key", "Escape")
    wait_for(lambda: session.logged("KEY DOWN while dimmed"), 5, "the lock window to wake")
    time.sleep(0.5)
    path, average = session.screenshot("locked.png")
    print("# screenshot %s, average colour %s" % (path, average), flush=True)
    check(min(average) > 200, "the locked screen shows the white lock window, not the desktop")

    # 4. A wrong password.
    session.xdotool("type", "--delay", "30", "wrong")
    wait_for(lambda: session.log().count("passwordIsChanging") >= 5, 5, "five typed characters")
    time.sleep(0.3)
    session.screenshot("typing.png")
    session.xdotool("key", "Return")
    wait_for(lambda: session.logged("got event com.quillmere.Tarnwick.wrongPasswordEvent"), 5,
             "the wrong-password event")
    check(x.keyboard_is_grabbed_by_another(), "the screen stays locked after a wrong password")

    # 5. Quit over the bus while locked is refused.
    reply = session.quit_over_bus()
    check(reply.returncode == 0, "the quit message reaches the application")
    time.sleep(1.0)
    check(session.app_process.poll() is None, "quit while locked is refused")

    # 6. The right password unlocks: grab and covers are gone.
    session.xdotool("type", "--delay", "30", PASSWORD)
    session.xdotool("key", "Return")
    wait_for(lambda: not x.keyboard_is_grabbed_by_another(), 5, "the keyboard to be released")
    check(not session.covers(), "the covering windows are gone after the unlock")

    # 7. Quit after unlock ends the process and says so on the bus.
    session.quit_over_bus()
    try:
        status = session.app_process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        raise Failure("the application did not end after quit")
    check(status == 0, "the application ends after quit (status %d)" % status)
    time.sleep(0.5)
    with open(session.bus_log_path) as f:
        bus = f.read()
    check('"stopNotification"' in bus, "stopNotification is seen on the bus")
    check('"startNotification"' in bus, "startNotification was seen on the bus")
    x.close()


def parse_arguments(*extra):
    """The options every end-to-end script takes (--app, --pane, --artifacts),
    plus required options of its own named in `extra`."""
    parser = argparse.ArgumentParser()
    for name in ("app", "pane", *extra, "artifacts"):
        parser.add_argument("--" + name, required=True)
    return parser.parse_args()


def run_reporting(session, scenario, log_lines=40):
    """Runs `scenario` on the session; prints PASS or FAIL with the end of
    the application's log, tears the session down, and gives the exit code."""
    try:
        scenario()
    except Failure as failure:
        print("FAIL: %s" % failure, flush=True)
        print("---- application log (last lines) ----")
        try:
            print("\n".join(session.log().splitlines()[-log_lines:]))
        except OSError:
            pass
        return 1
    finally:
        session.teardown()
    print("PASS", flush=True)
    return 0


def run_script(scenario, preferences=None, log_lines=40):
    """The whole of a one-session script's main(): its options, the programs
    it needs, its artifacts folder, a session with `preferences` stored, and
    `scenario(session)` run and reported."""
    arguments = parse_arguments()
    require_programs()
    os.makedirs(arguments.artifacts, exist_ok=True)
    session = Session(arguments.app, arguments.pane, arguments.artifacts, preferences)
    return run_reporting(session, lambda: scenario(session), log_lines)


def main():
    return run_script(run)


if __name__ == "__main__":
    sys.exit(main())
