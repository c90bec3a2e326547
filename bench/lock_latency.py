#!/usr/bin/env python3
"""How long a lock takes, from its trigger to the keyboard grab and to the
screen being covered, and an unlock from Return to the keyboard's release
(fades off): Tarnwick next to a running xscreensaver daemon and a bare Xlib
daemon (bench/floor_locker.c), in one interleaved run on one private Xvfb
display and session bus.

Contestants, all running before the first round:
- Tarnwick, triggered by its hot key (Control+Alt+L, pressed with XTEST);
- Tarnwick, triggered by `tarnwick-ctl lock` (timed from the command's start);
- xscreensaver, triggered by `xscreensaver-command -lock` (timed from the
  command's start), with a private HOME whose ~/.xscreensaver locks at once,
  without fades. It cannot be unlocked here (it authenticates the login
  password of a real account and refuses to lock as root, so it runs as
  `nobody`): after each lock the daemon is killed and started again, and it
  has no unlock time;
- the floor, triggered by its hot key (Control+Alt+M) and unlocked by Return.

A probe window holds the focus; it sees a keyboard grab take the focus away
(FocusOut of mode NotifyGrab, after a hot key's own passive grab has ended)
and a lock cover it (VisibilityNotify, fully obscured). Each round takes the
contestants in a random order, and each trigger comes after a random pause of
up to 0.2 s, so that no timer of any of them lines up with the benchmark. The
probe never grabs anything itself.

    bench/lock_latency.py --build build/default [--runs 20] [--no-xscreensaver]

The report gives median, p90 and max of each measure for each contestant,
and the ratio of each median to xscreensaver's.
"""

import ctypes
import ctypes.util
import os
import pwd
import random
import shutil
import signal
import subprocess
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
TARNWICK_HOTKEY = (b"Control_L", b"Alt_L", b"l")
FLOOR_HOTKEY = (b"Control_L", b"Alt_L", b"m")
# A hot key's passive grab comes and goes with the key press before the
# daemon's own grab; a command only brings the grab.
AFTER_HOTKEY = [(FOCUS_IN, NOTIFY_UNGRAB), (FOCUS_OUT, NOTIFY_GRAB)]
AFTER_COMMAND = [(FOCUS_OUT, NOTIFY_GRAB)]

XSCREENSAVER_SETTINGS = """\
timeout: 0:30:00
cycle: 0:10:00
lock: True
lockTimeout: 0:00:00
fade: False
unfade: False
mode: blank
dpmsEnabled: False
splash: False
"""

MEASURES = (("grab", "trigger → keyboard grab"), ("covered", "trigger → screen covered"),
            ("released", "Return → released"))


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
        self.x11.XSync(self.dpy, 0)
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
        """Presses and releases `keys` (a chord) at once; the moment it was
        sent (the requests wait in Xlib's buffer until the flush)."""
        for key in keys:
            self.xtst.XTestFakeKeyEvent(self.dpy, key, 1, 0)
        for key in reversed(keys):
            self.xtst.XTestFakeKeyEvent(self.dpy, key, 0, 0)
        sent = time.monotonic()
        self.x11.XFlush(self.dpy)
        return sent

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

    def lock(self, trigger, focus_steps):
        """Times from `trigger()`, which gives its own start, to the grab and the cover."""
        self.focus()
        bench_session.random_pause()
        started = trigger()
        grabbed, covered = self.wait_for(focus_steps, FULLY_OBSCURED)
        return (grabbed - started) * 1000.0, (covered - started) * 1000.0

    def release_time(self, return_key):
        self.drain()
        bench_session.random_pause()
        pressed = self.press(return_key)
        released, _ = self.wait_for([(FOCUS_IN, NOTIFY_UNGRAB)], UNOBSCURED)
        return (released - pressed) * 1000.0


class CommandTrigger:
    """A trigger that runs a command; its start is the moment before the
    spawn. The probe watches while the command runs (it may wait for an
    answer that comes after the lock); `check()` reaps it afterwards."""

    def __init__(self, arguments, env):
        self.arguments, self.env, self.process = arguments, env, None

    def __call__(self):
        started = time.monotonic()
        self.process = subprocess.Popen(self.arguments, env=self.env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        return started

    def check(self):
        if self.process.wait(timeout=10):
            raise lock_cycle.Failure("%s failed" % " ".join(self.arguments))


# -- contestants ----------------------------------------------------------

class Tarnwick:
    def __init__(self, session, probe, build, trigger):
        self.session, self.probe = session, probe
        self.return_key = probe.keycodes([b"Return"])
        if trigger == "hot key":
            self.name = "Tarnwick, hot key"
            hotkey = probe.keycodes(TARNWICK_HOTKEY)
            self.trigger, self.steps = (lambda: probe.press(hotkey)), AFTER_HOTKEY
        else:
            self.name = "Tarnwick, tarnwick-ctl lock"
            control = os.path.abspath(os.path.join(build, "tarnwick-ctl"))
            self.trigger, self.steps = CommandTrigger([control, "lock"], session.env), AFTER_COMMAND

    def round(self):
        grab, covered = self.probe.lock(self.trigger, self.steps)
        if isinstance(self.trigger, CommandTrigger):
            self.trigger.check()
        # A key within the lock's first second does not wake the prompt.
        time.sleep(1.2)
        self.session.xdotool("key", "Escape")
        self.session.xdotool("type", "--delay", "10", lock_cycle.PASSWORD)
        time.sleep(0.1)
        released = self.probe.release_time(self.return_key)
        time.sleep(0.3)
        return {"grab": grab, "covered": covered, "released": released}


class Floor:
    name = "floor (bare Xlib daemon)"

    def __init__(self, session, probe, build):
        self.probe = probe
        self.hotkey, self.return_key = probe.keycodes(FLOOR_HOTKEY), probe.keycodes([b"Return"])
        program = os.path.join(build, "bench", "floor_locker")
        if not os.access(program, os.X_OK):
            raise lock_cycle.Failure("%s is missing: build the target floor_locker" % program)
        self.process = subprocess.Popen([program], env=session.env, stdout=subprocess.PIPE)
        session.processes.append(self.process)
        if self.process.stdout.readline().strip() != b"ready":
            raise lock_cycle.Failure("floor_locker did not start")

    def round(self):
        grab, covered = self.probe.lock(lambda: self.probe.press(self.hotkey), AFTER_HOTKEY)
        released = self.probe.release_time(self.return_key)
        time.sleep(0.1)
        return {"grab": grab, "covered": covered, "released": released}


class XScreenSaver:
    name = "xscreensaver, xscreensaver-command -lock"

    @staticmethod
    def missing():
        return [p for p in ("xscreensaver", "xscreensaver-command") if not shutil.which(p)]

    def __init__(self, session, probe):
        self.session, self.probe = session, probe
        home = os.path.join(session.tmp, "xscreensaver-home")
        os.makedirs(home)
        with open(os.path.join(home, ".xscreensaver"), "w") as f:
            f.write(XSCREENSAVER_SETTINGS)
        self.env = dict(session.env, HOME=home)
        self.env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        # xscreensaver will not lock for root.
        self.as_user = []
        if os.getuid() == 0:
            nobody = pwd.getpwnam("nobody")
            for folder in (session.tmp, home):
                os.chmod(folder, 0o755)
            os.chown(home, nobody.pw_uid, nobody.pw_gid)
            os.chown(os.path.join(home, ".xscreensaver"), nobody.pw_uid, nobody.pw_gid)
            self.as_user = ["setpriv", "--reuid=%d" % nobody.pw_uid, "--regid=%d" % nobody.pw_gid,
                            "--clear-groups"]
        self.trigger = CommandTrigger(self.as_user + ["xscreensaver-command", "-lock"], self.env)
        self.daemon = None
        self.log = open(os.path.join(session.artifacts, "xscreensaver.log"), "w")
        self.start()

    def start(self):
        # A session of its own, so that its helpers (xscreensaver-gfx,
        # xscreensaver-auth) end with it.
        self.daemon = subprocess.Popen(self.as_user + ["xscreensaver", "-no-splash", "-verbose"], env=self.env,
                                       stdout=self.log, stderr=self.log, start_new_session=True)
        lock_cycle.wait_for(self.answers, 10, "the xscreensaver daemon", interval=0.05)
        # Its first second goes to starting its helpers.
        time.sleep(0.5)

    def answers(self):
        return subprocess.run(self.as_user + ["xscreensaver-command", "-time"], env=self.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0

    def stop(self):
        """Ends the daemon and its helpers, which it starts in process
        groups of their own but in its session."""
        if not self.daemon:
            return
        session = self.daemon.pid
        lock_cycle.wait_for(lambda: not self.kill_session(session), 10, "the end of xscreensaver", interval=0.02)
        self.daemon.wait()
        self.daemon = None

    @staticmethod
    def kill_session(session):
        """Kills what is left of `session`; whether anything was."""
        left = False
        for pid in (int(entry) for entry in os.listdir("/proc") if entry.isdigit()):
            stat = bench_session.read_stat(pid)
            if stat and stat[3] == session and stat[0] != "Z":
                left = True
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
        return left

    def round(self):
        grab, covered = self.probe.lock(self.trigger, AFTER_COMMAND)
        self.trigger.check()
        # It cannot be unlocked here: a new daemon for the next round.
        self.stop()
        self.start()
        return {"grab": grab, "covered": covered}


# -- report ---------------------------------------------------------------

def summary(samples):
    return (bench_session.median(samples), bench_session.percentile(samples, 0.9), max(samples))


def report(contestants, samples, reference):
    print("\n%d rounds; load average %s" % (len(next(iter(samples.values()))["grab"]),
                                           " ".join("%.2f" % v for v in os.getloadavg())), flush=True)
    for key, title in MEASURES:
        base = None
        if reference and samples[reference.name].get(key):
            base = bench_session.median(samples[reference.name][key])
        print("\n| %s | median | p90 | max | × xscreensaver |" % title)
        print("|---|---|---|---|---|")
        for contestant in contestants:
            values = samples[contestant.name].get(key)
            if not values:
                print("| %s | – | – | – | – |" % contestant.name)
                continue
            median, p90, most = summary(values)
            ratio = "%.2f×" % (median / base) if base else "–"
            print("| %s | %.1f ms | %.1f ms | %.1f ms | %s |" % (contestant.name, median, p90, most, ratio))
    sys.stdout.flush()


def run(session, arguments):
    display = session.setup()
    probe = Probe(display)
    session.start_app()
    contestants = [Tarnwick(session, probe, arguments.build, "hot key"),
                   Tarnwick(session, probe, arguments.build, "tarnwick-ctl"), Floor(session, probe, arguments.build)]
    reference = None
    missing = XScreenSaver.missing()
    if arguments.no_xscreensaver:
        print("xscreensaver left out (--no-xscreensaver): no ratios", flush=True)
    elif missing:
        print("\n" + "!" * 72 + "\n!! xscreensaver is NOT INSTALLED (missing %s): it is left out and there\n"
              "!! are no ratios. Install it with scripts/bootstrap --bench.\n" % ", ".join(missing) + "!" * 72,
              flush=True)
    else:
        reference = XScreenSaver(session, probe)
        contestants.append(reference)
    time.sleep(1.5)
    samples = {contestant.name: {} for contestant in contestants}
    try:
        for number in range(arguments.runs):
            order = random.sample(contestants, len(contestants))
            for contestant in order:
                print("round %d, %s" % (number + 1, contestant.name), flush=True)
                times = contestant.round()
                for key, value in times.items():
                    samples[contestant.name].setdefault(key, []).append(value)
                print("round %d, %s: %s" % (number + 1, contestant.name,
                                            ", ".join("%s %.1f ms" % item for item in times.items())), flush=True)
    finally:
        if reference:
            reference.stop()
    report(contestants, samples, reference)


def add_arguments(parser):
    parser.add_argument("--no-xscreensaver", action="store_true", help="leave xscreensaver out")


def main():
    arguments = bench_session.options(default_runs=20, add_arguments=add_arguments)
    preferences = {"lockOnStartup": False, "logLevel": 4, "fadingEnabled": False}
    return bench_session.run(arguments.build, preferences, lambda session: run(session, arguments))


if __name__ == "__main__":
    sys.exit(main())
