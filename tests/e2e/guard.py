#!/usr/bin/env python3
"""End-to-end: the lock guard keeps the session locked when Tarnwick dies.

Tarnwick locks at start-up and is killed (SIGKILL, SIGSEGV, SIGABRT): the
guard must hold the keyboard at once, cover the screen in black, refuse a
wrong password and, on the right one (the one stored when the lock began,
should the preferences file be gone or hold another password by then), let
go and start Tarnwick again. Killed
while unlocked, the application leaves nothing behind: no grab, no window, no
guard. Stopped while locked (SIGSTOP), it is covered by the guard once its
heartbeats are missed, and uncovered, still locked, after SIGCONT. A guard
killed by another program is replaced at the next lock.

Exit status 77 means a required program is missing (the test is skipped).
"""

import ctypes
import hashlib
import os
import plistlib
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lock_cycle  # noqa: E402
from lock_cycle import Failure, check, wait_for  # noqa: E402

GUARD_NAME = b"Tarnwick guard"
APPLICATION_COVER_NAME = b"Tarnwick cover"
IS_VIEWABLE = 2
# The application answers every 5 s; the guard waits 12 s before it covers.
STALL_DETECTION_SECONDS = 20


class WindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", ctypes.c_ulong), ("window_class", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong),
                ("map_installed", ctypes.c_int), ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
# Windows vanish between the listing and the look at them; their errors are
# expected, and the default handler would end the test.
ignore_x_errors = ERROR_HANDLER(lambda display, error: 0)


class Stack:
    """The root window's children, bottom to top, as the test client sees them."""

    def __init__(self, x):
        self.x = x
        lib = x.lib
        lib.XSetErrorHandler(ignore_x_errors)
        lib.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                   ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                                   ctypes.POINTER(ctypes.c_uint)]
        lib.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(WindowAttributes)]
        lib.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
        lib.XFree.argtypes = [ctypes.c_void_p]

    def windows(self, of=None):
        """(name, viewable) of each child of the root (or of `of`), bottom first."""
        lib, dpy = self.x.lib, self.x.dpy
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        lib.XSync(dpy, 0)
        if not lib.XQueryTree(dpy, of or self.x.root, ctypes.byref(root), ctypes.byref(parent),
                              ctypes.byref(children), ctypes.byref(count)):
            return []
        found = []
        for i in range(count.value):
            attributes = WindowAttributes()
            if not lib.XGetWindowAttributes(dpy, children[i], ctypes.byref(attributes)):
                continue
            name = ctypes.c_char_p()
            lib.XFetchName(dpy, children[i], ctypes.byref(name))
            found.append((name.value or b"", attributes.map_state == IS_VIEWABLE))
        if children:
            lib.XFree(children)
        return found

    def named(self, name, viewable=None):
        """Such windows among the root's children and the composite overlay window's."""
        overlay = self.x.overlay()
        found = self.windows() + (self.windows(overlay) if overlay else [])
        return [w for w in found if w[0] == name and (viewable is None or w[1] == viewable)]

    def guard_on_top(self):
        """The topmost window on screen is one of the guard's covers."""
        shown = [name for name, viewable in self.windows() if viewable]
        return bool(shown) and shown[-1] == GUARD_NAME


def pids():
    return [int(entry) for entry in os.listdir("/proc") if entry.isdigit()]


def application_pids(app, display):
    """Live processes of the application on `display` (a zombie has no exe)."""
    found = []
    for pid in pids():
        try:
            if os.path.realpath("/proc/%d/exe" % pid) != os.path.realpath(app):
                continue
            with open("/proc/%d/environ" % pid, "rb") as f:
                if ("DISPLAY=" + display).encode() in f.read().split(b"\0"):
                    found.append(pid)
        except OSError:
            continue
    return found


def guard_pids(display):
    """Guards on `display`, by their command line (they keep the rest of
    /proc to themselves)."""
    found = []
    for pid in pids():
        try:
            with open("/proc/%d/cmdline" % pid, "rb") as f:
                arguments = f.read().split(b"\0")
        except OSError:
            continue
        if os.path.basename(arguments[0]) == b"tarnwick-guard" and b"--display" in arguments and \
                arguments[arguments.index(b"--display") + 1] == display.encode():
            found.append(pid)
    return found


class GuardedSession:
    """A session whose application may be restarted by the guard, so that it
    is known by pid rather than as a child of the test."""

    def __init__(self, session, display):
        self.session = session
        self.display = display
        self.x = lock_cycle.X11(display)
        self.stack = Stack(self.x)
        self.guard = os.path.join(os.path.dirname(session.app), "tarnwick-guard")
        self.pid = None

    def start(self):
        self.session.start_app()
        self.pid = self.session.app_process.pid

    def applications(self):
        return application_pids(self.session.app, self.display)

    def guards(self):
        return guard_pids(self.display)

    def wait_until_locked(self):
        """The application locks at start-up; the guard is ready once its
        covers exist, not yet shown."""
        wait_for(self.x.keyboard_is_grabbed_by_another, 20, "the application's lock")
        wait_for(lambda: self.stack.named(GUARD_NAME, viewable=False), 5, "the guard to get ready")

    def kill(self, number):
        os.kill(self.pid, number)
        if self.session.app_process and self.session.app_process.pid == self.pid:
            self.session.app_process.wait()
        wait_for(lambda: self.pid not in self.applications(), 10, "the application to end")

    def type_password(self, password):
        self.session.xdotool("type", "--delay", "30", password)
        self.session.xdotool("key", "Return")

    def unlock_the_guard(self, password=lock_cycle.PASSWORD):
        """Types the right password: the guard lets go, ends and starts a new
        application, which locks again at start-up."""
        guards = self.guards()
        self.type_password(password)
        wait_for(lambda: not set(guards) & set(self.guards()), 5, "the guard to end")
        wait_for(lambda: [p for p in self.applications() if p != self.pid], 10, "a new application")
        self.pid = [p for p in self.applications() if p != self.pid][0]

    def unlock_the_application(self):
        time.sleep(1.2)  # the lock window takes keys once it has faded in
        self.session.xdotool("key", "Escape")
        time.sleep(0.5)
        self.type_password(lock_cycle.PASSWORD)
        wait_for(lambda: not self.x.keyboard_is_grabbed_by_another(), 10, "the application's own unlock")

    def end(self):
        for pid in self.applications():
            os.kill(pid, signal.SIGKILL)
        self.x.close()


def rewrite_password(preferences, password):
    """What another program of the session can do to the settings file."""
    with open(preferences, "rb") as f:
        stored = plistlib.load(f)
    stored["password"] = hashlib.md5(password.encode()).hexdigest()
    with open(preferences, "wb") as f:
        plistlib.dump(stored, f)


def pad_preferences(preferences, size):
    """A settings file far larger than settings need, which the application
    reads all the same: the guard must read it too."""
    with open(preferences, "rb") as f:
        stored = plistlib.load(f)
    stored["padding"] = "x" * size
    with open(preferences, "wb") as f:
        plistlib.dump(stored, f)


def preferences_file(g):
    return os.path.join(g.session.env["XDG_CONFIG_HOME"], "preferences", "com.quillmere.Tarnwick.plist")


def guard_takes_over_after(g, number, name, preferences="kept"):
    """The preferences file is "kept", "gone" when the guard takes over, or
    "rewritten" with another password by another program while locked; the
    guard goes by the digest it read at the lock."""
    g.wait_until_locked()
    old = g.pid
    path = preferences_file(g)
    with open(path, "rb") as f:
        original = f.read()
    if preferences == "gone":
        os.rename(path, path + ".away")
    elif preferences == "rewritten":
        rewrite_password(path, "attacker")
    g.kill(number)
    wait_for(lambda: g.stack.guard_on_top() and g.x.keyboard_is_grabbed_by_another(), 2,
             "the guard to take over after " + name)
    check(True, "after %s of the locked application the guard holds the keyboard, its cover on top" % name)
    if preferences == "rewritten":
        refused = g.session.log().count("tarnwick-guard: wrong password")
        g.type_password("attacker")
        wait_for(lambda: g.session.log().count("tarnwick-guard: wrong password") > refused, 5, "the refusal")
        check(g.x.keyboard_is_grabbed_by_another() and g.stack.guard_on_top(),
              "the password another program wrote into the file while locked does not unlock")
    if preferences != "kept":
        with open(path, "wb") as f:
            f.write(original)
        if os.path.exists(path + ".away"):
            os.remove(path + ".away")
    time.sleep(0.2)
    _, average = g.session.screenshot("guard-%s.png" % name)
    print("# average colour of the screen %s" % (average,), flush=True)
    check(max(average) < 40, "the screen is black, no desktop colour, after %s" % name)

    refused = g.session.log().count("tarnwick-guard: wrong password")
    g.type_password("wrong")
    wait_for(lambda: g.session.log().count("tarnwick-guard: wrong password") > refused, 5, "the refusal")
    check(g.x.keyboard_is_grabbed_by_another() and g.stack.guard_on_top(),
          "a wrong password keeps the guard's lock after %s" % name)

    g.unlock_the_guard()
    check(not g.stack.named(GUARD_NAME, viewable=True), "the right password removes the guard's covers after %s" % name)
    check(g.pid != old, "a new Tarnwick runs (pid %d, was %d), the password %s" % (
        g.pid, old, "of the file" if preferences == "kept" else "known from the lock"))
    g.wait_until_locked()
    check(True, "the new Tarnwick takes the keyboard: the guard's grab is gone")


# Killing the application buys no fresh guesses: wrong passwords typed at the lock screen count on at the guard.
# Each row: wrong passwords typed at the lock screen before the kill, then at the guard.
GUESSES_ACROSS_A_KILL = [
    ("three at the guard", 0, 3),
    ("two at the lock screen, one at the guard", 2, 1),
]


def lock_screen_refusals(g):
    return sum(1 for line in g.session.log().splitlines()
               if "ScriptHandler got event" in line and "rongPasswordEvent" in line)


def since_the_take_over(log):
    return log[log.rfind("the guard keeps it locked"):]


def guesses_are_slowed_across_a_kill(g, name, at_the_lock, at_the_guard):
    """The third wrong password in all starts the wait ("penalty" 0 here: six seconds) during which the guard checks
    no password, not even the right one; after it the right password unlocks."""
    g.wait_until_locked()
    log = g.session.log
    if at_the_lock:
        time.sleep(1.2)  # the lock window takes keys once it has faded in
        g.session.xdotool("key", "Escape")
        time.sleep(0.5)
        before = lock_screen_refusals(g)
        for i in range(at_the_lock):
            g.type_password("lock%d" % i)
            wait_for(lambda: lock_screen_refusals(g) == before + i + 1, 5, "the lock screen's refusal: " + name)
    g.kill(signal.SIGKILL)
    wait_for(lambda: g.stack.guard_on_top() and g.x.keyboard_is_grabbed_by_another(), 2,
             "the guard to take over: " + name)
    refused = log().count("tarnwick-guard: wrong password")
    for i in range(at_the_guard):
        g.type_password("guard%d" % i)
    wait_for(lambda: log().count("tarnwick-guard: wrong password") == refused + at_the_guard, 5,
             "the guard's refusals: " + name)
    wait_for(lambda: "no password is checked for 6 seconds" in since_the_take_over(log()), 5, "the wait: " + name)
    check(True, "%s: the third wrong password in all starts the wait" % name)
    swallowed = "tarnwick-guard: a password typed during the wait was not checked"
    before = log().count(swallowed)
    for guess in ("guess", lock_cycle.PASSWORD):
        g.type_password(guess)
    wait_for(lambda: log().count(swallowed) == before + 2, 5, "the guard to swallow the guesses: " + name)
    check(log().count("tarnwick-guard: wrong password") == refused + at_the_guard,
          "%s: no guess typed during the wait is checked" % name)
    check(g.x.keyboard_is_grabbed_by_another() and g.stack.guard_on_top(),
          "%s: the right password typed during the wait does not unlock" % name)
    wait_for(lambda: "the wait after three wrong passwords is over" in since_the_take_over(log()), 10,
             "the end of the wait: " + name)
    g.unlock_the_guard()
    check(True, "%s: after the wait the right password unlocks" % name)
    g.wait_until_locked()


def a_killed_guard_is_started_again(g):
    """Another program kills the guard while the screen is unlocked: the next
    lock starts a new one, which takes over when the application dies. The
    settings file has grown to 2 MiB by then; the guard reads what the
    application reads."""
    g.wait_until_locked()
    g.unlock_the_application()
    for pid in g.guards():
        os.kill(pid, signal.SIGKILL)
    wait_for(lambda: not g.guards(), 5, "the guard to end")
    pad_preferences(preferences_file(g), 2 << 20)
    g.session.xdotool("key", lock_cycle.HOTKEY_XDOTOOL)
    wait_for(lambda: g.guards(), 10, "a new guard")
    check(True, "the lock after the guard was killed starts a new guard")
    guard_takes_over_after(g, signal.SIGKILL, "SIGKILL-with-a-new-guard")


def killed_while_unlocked_leaves_nothing(g):
    g.unlock_the_application()
    wait_for(lambda: not g.stack.named(GUARD_NAME), 5, "the guard to stand down")
    g.kill(signal.SIGKILL)
    wait_for(lambda: not g.guards(), 5, "the guard of an unlocked application to end")
    time.sleep(0.5)
    check(not g.x.keyboard_is_grabbed_by_another(), "nobody holds the keyboard after SIGKILL while unlocked")
    check(not g.stack.named(GUARD_NAME), "no guard window after SIGKILL while unlocked")


def a_stopped_application_is_covered_until_it_answers(g):
    g.start()
    g.wait_until_locked()
    os.kill(g.pid, signal.SIGSTOP)
    try:
        wait_for(g.stack.guard_on_top, STALL_DETECTION_SECONDS, "the guard to cover a stopped application")
        check(g.x.keyboard_is_grabbed_by_another(), "the stopped application keeps the keyboard, covered by the guard")
    finally:
        os.kill(g.pid, signal.SIGCONT)
    wait_for(lambda: not g.stack.named(GUARD_NAME, viewable=True), 5, "the guard to uncover after SIGCONT")
    check(g.x.keyboard_is_grabbed_by_another() and g.stack.named(APPLICATION_COVER_NAME, viewable=True),
          "after SIGCONT the application's own lock is still there")
    g.unlock_the_application()
    # The keyboard is free before the guard has heard of the unlock.
    wait_for(lambda: not g.stack.named(GUARD_NAME), 5, "the guard to stand down")
    check(True, "the guard stands down when the application unlocks")


def the_guard_reads_keys_with_the_passwords_layout(g):
    """The password was set with a German keyboard layout, which the server
    does not have now: the guard reads the keys as that layout types them,
    so the key that types "y" with the US layout at hand types the German
    "z"."""
    path = preferences_file(g)
    with open(path, "rb") as f:
        stored = plistlib.load(f)
    stored["password"] = hashlib.md5(b"zs3cret").hexdigest()
    stored["passwordInputSource"] = "xkb:de"
    with open(path, "wb") as f:
        plistlib.dump(stored, f)
    g.session.xdotool("key", lock_cycle.HOTKEY_XDOTOOL)
    wait_for(g.x.keyboard_is_grabbed_by_another, 10, "the lock by the hot key")
    wait_for(lambda: g.stack.named(GUARD_NAME, viewable=False), 5, "the guard to get ready")
    g.kill(signal.SIGKILL)
    wait_for(lambda: g.stack.guard_on_top() and g.x.keyboard_is_grabbed_by_another(), 2,
             "the guard to take over with the password's layout")
    g.unlock_the_guard("ys3cret")
    check(True, "the guard reads the password with the layout it was set with")


def run(session):
    display = session.setup()
    g = GuardedSession(session, display)
    if not os.access(g.guard, os.X_OK):
        raise Failure("the guard is not beside the application: " + g.guard)
    try:
        g.start()
        guard_takes_over_after(g, signal.SIGKILL, "SIGKILL")
        for row in GUESSES_ACROSS_A_KILL:
            guesses_are_slowed_across_a_kill(g, *row)
        guard_takes_over_after(g, signal.SIGSEGV, "SIGSEGV", preferences="gone")
        guard_takes_over_after(g, signal.SIGABRT, "SIGABRT", preferences="rewritten")
        a_killed_guard_is_started_again(g)
        killed_while_unlocked_leaves_nothing(g)
        a_stopped_application_is_covered_until_it_answers(g)
        the_guard_reads_keys_with_the_passwords_layout(g)
    finally:
        g.end()


def main():
    return lock_cycle.run_script(run, preferences={"showInMenu": False, "penalty": 0}, log_lines=30)

if __name__ == "__main__":
    sys.exit(main())
