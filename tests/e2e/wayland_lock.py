#!/usr/bin/env python3
"""End-to-end: Tarnwick locks a Wayland session through ext-session-lock-v1.

Each scenario runs against a private headless sway 1.10 (one on labwc) from
the Debian 13 root (scripts/with-sway), whose desktop is magenta: a
screenshot (grim) of a locked session must not show one magenta pixel. Keys
are typed through the virtual keyboard (wtype). Scenarios:

  lock-and-unlock   tarnwick-ctl lock locks, every output shows the lock,
                    wrong passwords count, the right one unlocks
  lock-and-unlock-labwc  the same on labwc, another wlroots compositor
  guard-takeover    SIGKILL while locked: the session stays locked, the
                    guard takes the lock and its prompt unlocks
  guard-stalled     SIGSTOP while locked: the guard ends the application
                    after the missed heartbeats and takes the lock
  inactivity-lock   with no input for the inactivity minute the compositor's
                    idle notification locks every output; a key before
                    that deadline puts the lock off
  output-added      an output created while locked is covered at once, and
                    stays covered at scale 3
  output-hotplug    hundreds of outputs plugged in and out while locked
                    leave the memory flat
  non-ascii-password  a password with characters beyond ASCII unlocks
  compose-password  a password with a dead-key and a compose character
                    (the locale's compose table) unlocks
  settings-password tarnwick-settings runs on the compositor without an X
                    display; the password set in it, with the layout of the
                    compositor's keymap, unlocks
  compositor-gone   the compositor ends while locked: Tarnwick and its guard
                    end with it, neither spins
  another-locker    swaylock holds the session: Tarnwick's lock is refused,
                    and it says why and keeps running
  no-lock-protocol  weston (Debian 12, headless) has no session lock:
                    Tarnwick refuses to start and names what is missing

A compositor that cannot be started (no Debian 13 root, no network to build
one) is a failure with a message saying so, not a skip.
"""

import argparse
import hashlib
import json
import os
import plistlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lock_cycle  # noqa: E402
from lock_cycle import Failure, check, wait_for  # noqa: E402

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WITH_SWAY = os.path.join(SOURCE, "scripts", "with-sway")
MAGENTA = "#ff00ff"
# The application answers every 5 s; the guard gives up on it after 12 s.
STALL_DETECTION_SECONDS = 25
# A minute of the inactivity settings, shortened in a build with test hooks.
MINUTE = lock_cycle.MINUTE


class WaylandSession(lock_cycle.Session):
    """A session bus and Tarnwick's folders next to a compositor that is
    already running (its variables are in the environment)."""

    def __init__(self, arguments):
        super().__init__(arguments.app, arguments.pane, arguments.artifacts,
                         {"lockOnStartup": False, "lockScreenHotKeyCode": 0, "lockScreenHotKeyModifiers": 0})
        self.ctl = arguments.ctl
        self.settings = arguments.settings

    def setup(self):
        home = os.path.join(self.tmp, "home")
        os.makedirs(home)
        config, data = self.write_preferences(home)
        bus = self.start_bus()
        env = dict(os.environ)
        env.update({
            "DBUS_SESSION_BUS_ADDRESS": bus,
            "HOME": home,
            "XDG_CONFIG_HOME": config,
            "XDG_DATA_HOME": data,
            "XDG_CACHE_HOME": os.path.join(home, ".cache"),
            "XDG_DATA_DIRS": os.path.join(self.tmp, "no-system-data"),
        })
        for name in ("DISPLAY", "TARNWICK_BACKEND", "TARNWICK_ALLOW_WAYLAND", "QT_QPA_PLATFORM", "XAUTHORITY"):
            env.pop(name, None)
        env.update(self.extra_env)
        self.env = env

    def control(self, command):
        return subprocess.run([self.ctl, command], env=self.env, capture_output=True, text=True, timeout=20)

    def status(self):
        return self.control("status").stdout.strip()

    def in_root(self, *command, check_status=True):
        return subprocess.run([WITH_SWAY, "--exec-in-root", *command], env=self.env, capture_output=True,
                              text=True, timeout=30, check=check_status)

    def enter(self, password):
        """Escape (which wakes a dimmed lock screen and empties the field),
        the password and Return, in one go: a slow start of wtype must not
        run into the time limit for typing. wtype's virtual keyboard is new to
        the compositor each time: the pause lets the lock's keyboard take its
        keymap before the first key."""
        self.in_root("env", "LANG=C.UTF-8", "wtype", "-s", "300", "-k", "Escape", "-s", "100", password, "-k",
                     "Return")

    def magenta_share(self, name):
        """Takes a screenshot of every output; the share of magenta pixels."""
        self.in_root("grim", "/run/wl/" + name)
        source = os.path.join(self.env["XDG_RUNTIME_DIR"], name)
        path = os.path.join(self.artifacts, name)
        shutil.copyfile(source, path)
        share = subprocess.run(["convert", path, "-fill", "black", "+opaque", MAGENTA, "-fill", "white", "-opaque",
                                MAGENTA, "-format", "%[fx:mean]", "info:"], capture_output=True, text=True,
                               check=True).stdout.strip()
        return float(share)

    def locked(self):
        return self.status() == "locked"


def lock(session):
    session.setup()
    session.start_app()
    wait_for(lambda: session.control("status").returncode == 0, 40, "Tarnwick on the bus", interval=0.1)
    check(session.magenta_share("desktop.png") > 0.9, "the desktop shows before the lock")
    check(session.control("lock").returncode == 0, "tarnwick-ctl lock is accepted")
    wait_for(session.locked, 10, "the lock", interval=0.1)
    check(session.magenta_share("locked.png") == 0.0, "no magenta pixel on any output while locked")
    # A key within the lock's first second does not wake the prompt.
    time.sleep(1.2)


def unlock(session):
    session.enter(lock_cycle.PASSWORD)
    wait_for(lambda: not session.locked(), 10, "the unlock by password", interval=0.1)
    # Mostly magenta: outputs of different scales leave gaps in the screenshot.
    wait_for(lambda: session.magenta_share("unlocked.png") > 0.5, 10, "the desktop after the unlock", interval=0.2)
    check(True, "the right password unlocks and the desktop shows again")


def lock_and_unlock(session):
    lock(session)
    for attempt in (1, 2):
        session.enter("wrong%d" % attempt)
        wait_for(lambda: session.log().count("ScriptHandler got event com.quillmere.Tarnwick.wrongPasswordEvent") >=
                 attempt, 10,
                 "wrong password %d to count" % attempt, interval=0.1)
    check(session.locked(), "two wrong passwords count and leave the session locked")
    check(session.magenta_share("wrong.png") == 0.0, "no magenta pixel after the wrong passwords")
    unlock(session)


def guard_unlocks(session, why):
    wait_for(lambda: "the session lock is held" in session.guard_log(), 30, "the guard's lock after " + why,
             interval=0.1)
    check(session.magenta_share("guard.png") == 0.0, "no magenta pixel while the guard holds the lock")
    session.enter("wrong")
    wait_for(lambda: "wrong password (attempt 1)" in session.guard_log(), 10, "the guard to refuse a wrong password",
             interval=0.1)
    check(session.magenta_share("guard-wrong.png") == 0.0, "the guard stays locked after a wrong password")
    session.enter(lock_cycle.PASSWORD)
    wait_for(lambda: "the right password was typed" in session.guard_log(), 10, "the guard's unlock", interval=0.1)
    wait_for(lambda: session.magenta_share("guard-unlocked.png") > 0.9, 10, "the desktop after the guard's unlock",
             interval=0.2)
    wait_for(lambda: session.control("status").stdout.strip() == "unlocked", 20, "Tarnwick started again",
             interval=0.2)
    check(True, "the guard's prompt unlocks and Tarnwick runs again")
    # The guard started this one: it is ended over the bus, not by the teardown.
    session.quit_over_bus()


def guard_log_of(session):
    try:
        return session.log()
    except OSError:
        return ""


def guard_takeover(session):
    lock(session)
    session.app_process.send_signal(signal.SIGKILL)
    session.app_process.wait(timeout=10)
    check(session.magenta_share("killed.png") == 0.0, "no magenta pixel after Tarnwick was killed while locked")
    guard_unlocks(session, "SIGKILL")


def guard_stalled(session):
    lock(session)
    session.app_process.send_signal(signal.SIGSTOP)
    wait_for(lambda: session.app_process.poll() is not None, STALL_DETECTION_SECONDS,
             "the guard to end the stopped application", interval=0.2)
    guard_unlocks(session, "SIGSTOP")


def inactivity_lock(session):
    session.preference_overrides["autoActivate"] = 1.0
    session.setup()
    session.start_app()
    wait_for(lambda: session.control("status").returncode == 0, 40, "Tarnwick on the bus", interval=0.1)
    # Halfway through the first minute: the key must start it again.
    time.sleep(MINUTE / 2)
    typed = time.monotonic()
    session.in_root("wtype", "-k", "Shift_L")
    # Past the first minute's end, short of the one the key started.
    time.sleep(max(0.0, typed + MINUTE * 0.85 - time.monotonic()))
    check(not session.locked() and session.magenta_share("after-key.png") > 0.9,
          "a key halfway through the inactivity minute keeps the session unlocked past that minute")
    wait_for(session.locked, MINUTE + 30, "the inactivity lock", interval=0.2)
    check(time.monotonic() - typed >= MINUTE - 1, "the inactivity lock comes a minute after the last key")
    check(session.magenta_share("idle-locked.png") == 0.0, "no magenta pixel on either output after the inactivity")
    time.sleep(1.2)
    unlock(session)


def output_added(session):
    lock(session)
    session.in_root("swaymsg", "create_output")
    wait_for(lambda: session.log().count("a lock surface covers output") >= 2, 10,
             "a lock surface on the new output", interval=0.1)
    check(session.magenta_share("two-outputs.png") == 0.0, "no magenta pixel on either output")
    # A scale of 3 asks for buffers three times the configured size.
    session.in_root("swaymsg", "output HEADLESS-2 scale 3")
    time.sleep(0.5)
    check(session.magenta_share("scale-3.png") == 0.0 and session.app_process.poll() is None,
          "an output at scale 3 stays covered and the lock stays up")
    unlock(session)


def resident_kilobytes(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise Failure("no resident size for process %d" % pid)


def built_with_address_sanitizer(program):
    with open(program, "rb") as binary:
        return b"libasan.so" in binary.read()


def output_hotplug(session):
    if built_with_address_sanitizer(session.app):
        # AddressSanitizer keeps freed memory in quarantine (256 MB) to catch
        # uses after free, and the resident size would grow with every freed
        # surface. Without the quarantine, memory that is truly freed is
        # reused, and a leak still shows.
        options = os.environ.get("ASAN_OPTIONS", "")
        session.extra_env = {"ASAN_OPTIONS": (options + ":" if options else "") + "quarantine_size_mb=0"}
    lock(session)

    def plug(count, first):
        # In one shell inside the root: one swaymsg after the other, fast.
        session.in_root("sh", "-c", "i=%d; while [ $i -lt %d ]; do swaymsg -q create_output; "
                        "swaymsg -q output HEADLESS-$i unplug; i=$((i+1)); done" % (first, first + count))

    plug(50, 2)
    before = resident_kilobytes(session.app_process.pid)
    plug(300, 52)
    # The last outputs' buffers (4 MB each) go once Tarnwick has read their
    # removal, which on a busy machine may come after swaymsg returned.
    settled = time.monotonic() + 15
    after = resident_kilobytes(session.app_process.pid)
    while after - before >= 2048 and time.monotonic() < settled:
        time.sleep(0.2)
        after = resident_kilobytes(session.app_process.pid)
    print("# resident before %d kB, after 300 more output hot-plugs %d kB" % (before, after), flush=True)
    check(after - before < 2048, "300 output hot-plugs while locked leave the memory flat")
    check(session.magenta_share("after-hotplug.png") == 0.0, "the remaining output is still covered")
    unlock(session)


def guards_of(session):
    """The lock guards that watch this session's compositor (a guard
    detaches from its application: found in /proc by its arguments)."""
    wanted = [b"--wayland", session.env["WAYLAND_DISPLAY"].encode(), b"--application", session.app.encode()]
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                arguments = f.read().split(b"\0")
        except OSError:
            continue
        if os.path.basename(arguments[0]) == b"tarnwick-guard" and arguments[1:5] == wanted:
            found.append(int(entry))
    return found


def compositor_gone(session):
    lock(session)
    wait_for(lambda: guards_of(session), 10, "the lock guard", interval=0.1)
    guards = guards_of(session)
    session.in_root("swaymsg", "exit", check_status=False)
    try:
        status = session.app_process.wait(timeout=20)
    except subprocess.TimeoutExpired:
        raise Failure("Tarnwick still runs after its compositor went away")
    check(status != 0, "Tarnwick ends with a failure when its compositor goes away (%d)" % status)
    wait_for(lambda: not any(os.path.exists("/proc/%d" % pid) for pid in guards), 20, "the guard to end",
             interval=0.2)
    check(True, "the guard ends too, rather than spin without a compositor")


def non_ascii_password(session):
    # Typed as the compositor's keymap says: wtype gives each character a key of its own.
    password = "pässwörd€"
    session.preference_overrides["password"] = hashlib.md5(password.encode()).hexdigest()
    lock(session)
    session.enter(password)
    wait_for(lambda: not session.locked(), 10, "the unlock by a password with non-ASCII characters", interval=0.1)
    check(True, "a password with non-ASCII characters unlocks")


def compose_password(session):
    # C.UTF-8 composes as en_US.UTF-8: dead_acute e is é, Multi_key o c is ©.
    password = "café©"
    session.preference_overrides["password"] = hashlib.md5(password.encode()).hexdigest()
    session.extra_env = {"LC_ALL": "C.UTF-8", "LANG": "C.UTF-8"}
    lock(session)
    session.in_root("wtype", "-s", "300", "-k", "Escape", "-s", "100", "caf", "-k", "dead_acute", "-k", "e", "-k",
                    "Multi_key", "-k", "o", "-k", "c", "-k", "Return")
    wait_for(lambda: not session.locked(), 10, "the unlock by a password typed with a dead key and a compose key",
             interval=0.1)
    check(True, "a password typed with a dead key and a compose sequence unlocks")


def stored_preferences(session):
    path = os.path.join(session.env["XDG_CONFIG_HOME"], "preferences", "com.quillmere.Tarnwick.plist")
    with open(path, "rb") as f:
        return path, plistlib.load(f)


def settings_show(widget_map, name, text=None):
    """Whether the settings window shows the widget `name` (reading `text`),
    as the settings host's widget map lists it."""
    try:
        with open(widget_map) as f:
            rows = [line.split("\t") for line in f.read().splitlines()]
    except OSError:
        return False
    return any(len(row) >= 9 and row[0] == name and row[5] == "1" and (text is None or row[8] == text)
               for row in rows)


def windows(node):
    """The windows in a tree of swaymsg -t get_tree: app id to whether it has
    the keyboard focus."""
    found = {node["app_id"]: node.get("focused", False)} if node.get("app_id") else {}
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        found.update(windows(child))
    return found


def settings_password(session):
    password = "sécret"
    session.setup()
    path, preferences = stored_preferences(session)
    del preferences["password"]
    with open(path, "wb") as f:
        plistlib.dump(preferences, f)
    widget_map = os.path.join(session.tmp, "widgets.tsv")
    settings_log = open(os.path.join(session.artifacts, "settings.log"), "w")
    settings = subprocess.Popen([session.settings], env=dict(session.env, TARNWICK_SETTINGS_WIDGET_MAP=widget_map),
                                stdout=subprocess.DEVNULL, stderr=settings_log)
    session.processes.append(settings)
    wait_for(lambda: settings_show(widget_map, "passwordSet", "Password not set."), 30, "the settings window",
             interval=0.2)

    def window_focused():
        return windows(json.loads(session.in_root("swaymsg", "-t", "get_tree").stdout)).get("tarnwick-settings")

    wait_for(window_focused, 10, "the settings window on the compositor, focused", interval=0.2)
    check(True, "tarnwick-settings shows its window on the compositor, with no X display")
    # The button that sets the password has the keyboard focus when the window opens.
    session.in_root("wtype", "-s", "300", "-k", "space")
    wait_for(lambda: settings_show(widget_map, "newPassword"), 10, "the password sheet", interval=0.1)
    for _ in range(2):
        session.in_root("env", "LANG=C.UTF-8", "wtype", "-s", "300", password, "-k", "Return")
    digest = hashlib.md5(password.encode()).hexdigest()
    wait_for(lambda: stored_preferences(session)[1].get("password") == digest, 10, "the password's digest",
             interval=0.1)
    layout = stored_preferences(session)[1].get("passwordInputSource", "")
    check(layout.startswith("xkb:"), "the password's layout comes from the compositor's keymap (%s)" % layout)
    settings.terminate()
    settings.wait(timeout=10)
    session.start_app()
    wait_for(lambda: session.control("status").returncode == 0, 40, "Tarnwick on the bus", interval=0.1)
    check(session.control("lock").returncode == 0, "tarnwick-ctl lock is accepted")
    wait_for(session.locked, 10, "the lock", interval=0.1)
    time.sleep(1.2)
    session.enter(password)
    wait_for(lambda: not session.locked(), 10, "the unlock by the password set in the settings", interval=0.1)
    check(True, "the password set in tarnwick-settings on the compositor unlocks")


def another_locker(session):
    session.setup()
    swaylock = subprocess.Popen([WITH_SWAY, "--exec-in-root", "swaylock", "--color", "00ff00"], env=session.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    session.processes.append(swaylock)
    wait_for(lambda: session.magenta_share("swaylock.png") == 0.0, 10, "swaylock's lock", interval=0.2)
    session.start_app()
    wait_for(lambda: session.control("status").returncode == 0, 40, "Tarnwick on the bus", interval=0.1)
    session.control("lock")
    wait_for(lambda: session.logged("another screen locker holds it"), 10, "the refusal", interval=0.1)
    check(session.status() == "unlocked", "Tarnwick reports the refused lock as unlocked")
    check(session.app_process.poll() is None, "Tarnwick keeps running after the refused lock")


def no_lock_protocol(session):
    runtime = tempfile.mkdtemp(prefix="tarnwick-weston-")
    os.chmod(runtime, 0o700)
    environment = dict(os.environ, XDG_RUNTIME_DIR=runtime)
    weston = subprocess.Popen(["weston", "--backend=headless-backend.so", "--socket=tarnwick-weston", "--idle-time=0"],
                              env=environment, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    session.processes.append(weston)
    try:
        wait_for(lambda: os.path.exists(os.path.join(runtime, "tarnwick-weston")), 20, "weston's socket")
        session.extra_env = {"XDG_RUNTIME_DIR": runtime, "WAYLAND_DISPLAY": "tarnwick-weston"}
        session.setup()
        session.start_app()
        wait_for(lambda: session.logged("this compositor offers no ext-session-lock-v1"), 20, "the refusal")
        check(session.logged("Tarnwick can lock sway, Hyprland, river, niri, labwc, wayfire, or an X11 session"),
              "the refusal names the compositors that can be locked")
        # The refusal waits in a dialog for whoever started it; ended, it exits with a failure.
        if session.app_process.poll() is None:
            session.app_process.terminate()
        check(session.app_process.wait(timeout=10) != 0, "a refused session ends with a non-zero status")
    finally:
        shutil.rmtree(runtime, ignore_errors=True)


# name: (scenario, runs on sway, sway's extra options)
SCENARIOS = {
    "lock-and-unlock": (lock_and_unlock, True, []),
    "lock-and-unlock-labwc": (lock_and_unlock, True, ["--compositor", "labwc"]),
    "guard-takeover": (guard_takeover, True, []),
    "guard-stalled": (guard_stalled, True, []),
    "inactivity-lock": (inactivity_lock, True, ["--outputs", "2"]),
    "output-added": (output_added, True, []),
    "output-hotplug": (output_hotplug, True, []),
    "non-ascii-password": (non_ascii_password, True, []),
    "compose-password": (compose_password, True, []),
    "settings-password": (settings_password, True, []),
    "compositor-gone": (compositor_gone, True, []),
    "another-locker": (another_locker, True, []),
    "no-lock-protocol": (no_lock_protocol, False, []),
}


def parse_arguments():
    parser = argparse.ArgumentParser()
    for name in ("app", "pane", "ctl", "settings", "artifacts"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--scenario", choices=SCENARIOS)
    return parser.parse_args()


def run_one(arguments):
    scenario, _, _ = SCENARIOS[arguments.scenario]
    os.makedirs(arguments.artifacts, exist_ok=True)
    session = WaylandSession(arguments)
    session.guard_log = lambda: guard_log_of(session)
    return lock_cycle.run_reporting(session, lambda: scenario(session), log_lines=60)


def main():
    arguments = parse_arguments()
    if arguments.scenario:
        return run_one(arguments)
    missing = [p for p in ("dbus-daemon", "convert", "weston") if not shutil.which(p)]
    if missing:
        print("FAIL: missing programs (scripts/packages.txt): " + ", ".join(missing), flush=True)
        return 1
    if not os.access(WITH_SWAY, os.X_OK):
        print("FAIL: %s is missing: no compositor with the session lock to test on" % WITH_SWAY, flush=True)
        return 1
    failed = []
    for name, (_, on_sway, options) in SCENARIOS.items():
        artifacts = os.path.join(arguments.artifacts, name)
        os.makedirs(artifacts, exist_ok=True)
        command = [sys.executable, os.path.abspath(__file__), "--app", arguments.app, "--pane", arguments.pane,
                   "--ctl", arguments.ctl, "--settings", arguments.settings, "--artifacts", artifacts, "--scenario", name]
        if on_sway:
            command = [WITH_SWAY, "--outputs", "1", *options, "--", *command]
        print("# scenario " + name, flush=True)
        status = subprocess.run(command).returncode
        if status != 0:
            failed.append(name)
            if on_sway and not os.path.exists(os.path.join(artifacts, "tarnwick.log")):
                print("FAIL: %s: no sway to run it on (with-sway says why above; scripts/debian13-root builds "
                      "the Debian 13 root it runs from)" % name, flush=True)
    if failed:
        print("FAIL: " + ", ".join(failed), flush=True)
        return 1
    print("PASS", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
