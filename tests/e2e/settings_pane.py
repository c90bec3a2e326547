#!/usr/bin/env python3
"""End-to-end: a new user sets Tarnwick up from "Tarnwick Settings" alone.

On a private X server and session bus, with nothing stored: tarnwick-settings
opens the installed pane, which says that no password is set and keeps Start
disabled. The user sets a password in the password sheet by typing it, records
Ctrl+Alt+L as the lock hot key by pressing it, and presses Start; Tarnwick
starts from inside the pane bundle and the button turns to "Stop". The hot key
locks the screen (the keyboard is grabbed), the password unlocks it. A password
changed in the pane while Tarnwick runs is the one that unlocks the next lock.
A slider moved with the keyboard and a pop-up choice are stored as shown;
a screen reader hears the sliders and the recorders by name. The Bluetooth
sheet searches, or says why it cannot.
Tarnwick outlives the settings window that started it, and a second settings
window finds it running. Switching "show in the task bar" restarts Tarnwick;
"Stop" ends it. A screenshot of the pane is kept and must show the pane, not
an empty window.

Exit status 77 means a required program is missing (the test is skipped).
"""

import hashlib
import os
import plistlib
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lock_cycle  # noqa: E402
from lock_cycle import Failure, check, wait_for  # noqa: E402

PASSWORD = "first secret"
NEW_PASSWORD = "s3cond"
HOTKEY_XDOTOOL = "ctrl+alt+l"
HOTKEY_MAC_CODE = 37
HOTKEY_CARBON = 0x1000 | 0x0800
APPLICATION_NAME = "com.quillmere.Tarnwick"
# What a screen reader says for each slider: the caption of its row.
SLIDER_NAMES = {
    "autoActivate": "Lock after inactivity",
    "inputPause": "Time to type the password",
    "penalty": "Wait after three wrong passwords",
    "dimScreen": "Dim the lock screen after",
}


class PaneSession(lock_cycle.Session):
    """A session with nothing configured: no password, no hot keys."""

    # What the stored preferences of the session leave out.
    UNSET = ("password", "lockScreenHotKeyCode", "lockScreenHotKeyModifiers", "lockOnStartup")

    def __init__(self, arguments):
        super().__init__(arguments.app, arguments.pane, arguments.artifacts)
        self.settings = arguments.settings
        self.map_path = os.path.join(self.tmp, "widgets.tsv")
        self.host = None

    def write_preferences(self, home):
        config, data = super().write_preferences(home)
        self.preferences_path = os.path.join(config, "preferences", "com.quillmere.Tarnwick.plist")
        with open(self.preferences_path, "rb") as f:
            preferences = plistlib.load(f)
        for key in self.UNSET:
            preferences.pop(key, None)
        self.adjust_preferences(preferences)
        with open(self.preferences_path, "wb") as f:
            plistlib.dump(preferences, f)
        return config, data

    def adjust_preferences(self, preferences):
        """What a scenario sets beyond the defaults, before the file is written."""

    def stored(self):
        with open(self.preferences_path, "rb") as f:
            return plistlib.load(f)

    def start_host(self, log_path=None):
        if os.path.exists(self.map_path):
            os.remove(self.map_path)
        env = dict(self.env, TARNWICK_SETTINGS_WIDGET_MAP=self.map_path)
        # Tarnwick, started by the pane, writes into the same log.
        self.host = subprocess.Popen([self.settings], env=env, stdout=subprocess.DEVNULL,
                                     stderr=open(log_path or self.log_path, "w"))
        self.processes.append(self.host)

    # -- the settings window, as the host describes it ----------------------

    def widgets(self):
        try:
            with open(self.map_path) as f:
                lines = f.read().splitlines()
        except OSError:
            return {}
        found = {}
        for line in lines:
            fields = line.split("\t")
            if len(fields) < 9:
                continue
            name, x, y, w, h, visible, enabled, checked, text = fields[:9]
            found[name] = {"x": int(x), "y": int(y), "w": int(w), "h": int(h), "visible": visible == "1",
                           "enabled": enabled == "1", "checked": checked, "text": text,
                           "accessible": fields[9] if len(fields) > 9 else ""}
        return found

    def widget(self, name):
        return self.widgets().get(name)

    def shows(self, name, text=None, enabled=None):
        w = self.widget(name)
        return bool(w and w["visible"] and (text is None or w["text"] == text)
                    and (enabled is None or w["enabled"] == enabled))

    def wait_shows(self, name, text=None, enabled=None, timeout=10):
        what = name + (" reading %r" % text if text is not None else "") + \
            ("" if enabled is None else (" enabled" if enabled else " disabled"))
        wait_for(lambda: self.shows(name, text, enabled), timeout, what, interval=0.1)

    def click(self, name):
        self.wait_shows(name, enabled=True)
        w = self.widget(name)
        # A check box takes clicks on its box and label only, at its left end.
        x = w["x"] + (min(w["w"] // 2, 8) if w["checked"] != "-" else w["w"] // 2)
        self.xdotool("mousemove", str(x), str(w["y"] + w["h"] // 2), "click", "1")

    def start_or_stop_tarnwick(self, expected):
        """Clicks Start or Stop; the button reads `expected` ("Stop" or
        "Start") once Tarnwick has said that it started or stopped."""
        self.click("startStopButton")
        self.wait_shows("startStopButton", expected, enabled=True, timeout=20)

    def type_and_return(self, text):
        self.xdotool("type", "--delay", "20", text)
        self.xdotool("key", "Return")

    # -- Tarnwick on the bus --------------------------------------------------

    def bus_call(self, method, *arguments):
        return subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                               "/org/freedesktop/DBus", "org.freedesktop.DBus." + method, *arguments],
                              env=self.env, capture_output=True, text=True, timeout=10)

    def application_pid(self):
        reply = self.bus_call("GetConnectionUnixProcessID", "string:" + APPLICATION_NAME)
        if reply.returncode != 0:
            return None
        return int(reply.stdout.split()[-1])

    def teardown(self):
        # Tarnwick was started by the pane, not by the test: it is found by its bus name.
        pid = self.application_pid() if self.env else None
        if pid:
            os.kill(pid, signal.SIGKILL)
        super().teardown()

    def pane_screenshot(self, name):
        window = self.widget("window:Tarnwick")
        path, _ = self.screenshot(name)
        geometry = "%dx%d+%d+%d" % (window["w"], window["h"], window["x"], window["y"])
        spread = subprocess.run(["convert", path, "-crop", geometry, "+repage", "-colorspace", "gray", "-format",
                                 "%[fx:standard_deviation]", "info:"], capture_output=True, text=True,
                                check=True).stdout
        return path, float(spread)


def set_password(session, old, new):
    session.click("setPasswordButton")
    session.wait_shows("newPassword")
    if old is None:
        check(not session.widget("oldPassword")["enabled"], "with no password set, the current one cannot be typed")
        session.click("newPassword")
    else:
        session.click("oldPassword")
        session.type_and_return(old)
    session.type_and_return(new)
    session.type_and_return(new)
    wait_for(lambda: not session.shows("newPassword"), 10, "the password sheet to close", interval=0.1)
    wait_for(lambda: session.stored().get("password") == hashlib.md5(new.encode()).hexdigest(), 5,
             "the new password's digest in the preferences")


def lock_with_hot_key(session, x):
    session.xdotool("key", HOTKEY_XDOTOOL)
    wait_for(x.keyboard_is_grabbed_by_another, 10, "the keyboard grab after the hot key")
    time.sleep(1.2)
    session.xdotool("key", "Escape")
    wait_for(lambda: session.log().count("KEY DOWN while dimmed") > lock_with_hot_key.wakes, 5,
             "the lock window to wake")
    lock_with_hot_key.wakes += 1


lock_with_hot_key.wakes = 0


def run(session):
    display = session.setup()
    x = lock_cycle.X11(display)
    session.start_host()

    # 1. Nothing is configured: Tarnwick cannot be started yet.
    session.wait_shows("passwordSet", "Password not set.", timeout=20)
    check(session.shows("startStopButton", "Start", enabled=False), "Start is disabled without a password")
    check(session.shows("startOnLoginCheckbox", enabled=False), "start at login is disabled without a password")

    # 2. The password, typed into the sheet.
    set_password(session, None, PASSWORD)
    session.wait_shows("passwordSet", "Password changed.")
    check(session.shows("startStopButton", "Start", enabled=True), "Start is enabled once a password is set")
    check(session.stored().get("passwordInputSource", "").startswith("xkb:"),
          "the keyboard layout of the password is stored")

    # 3. The lock hot key, pressed into its recorder.
    session.click("tab:Hot Keys and Log")
    session.click("lockScreenHotKeyInput")
    session.wait_shows("lockScreenHotKeyInput", "Type a shortcut\u2026")
    session.xdotool("key", HOTKEY_XDOTOOL)
    session.wait_shows("lockScreenHotKeyInput", "Ctrl+Alt+L")
    stored = session.stored()
    check(stored.get("lockScreenHotKeyCode") == HOTKEY_MAC_CODE and
          stored.get("lockScreenHotKeyModifiers") == HOTKEY_CARBON,
          "the hot key is stored as key code 37 with the Carbon flags of Control and Option")
    wait_for(lambda: session.widget("lockScreenHotKeyInput")["accessible"] ==
             "Hot key that locks the screen: Ctrl+Alt+L", 5, "the recorder's accessible name")
    check(session.widget("showLogHotKeyInput")["accessible"] == "Hot key that shows the event log: none",
          "a screen reader hears each recorder's purpose and its shortcut")

    # 4. A slider moved from the keyboard and a pop-up choice are stored as they change.
    session.click("tab:Lock Screen")
    session.click("penalty")
    session.xdotool("key", "End")
    session.wait_shows("penaltyLabel", "10 minutes")
    session.click("dimScreenModePopupButton")
    time.sleep(0.3)
    session.xdotool("key", "Down", "Return")
    session.wait_shows("dimScreenModePopupButton", "Hide the lock picture")
    wait_for(lambda: session.stored().get("penalty") == 10 and session.stored().get("dimScreenMode") == 2, 5,
             "the penalty and the dimming mode in the preferences")
    check(True, "the slider and the pop-up write what they show")
    names = {name: session.widget(name)["accessible"] for name in SLIDER_NAMES}
    check(names == SLIDER_NAMES, "a screen reader hears each slider by its row: %r" % names)

    # 4b. The Bluetooth sheet searches with the radio the application uses,
    # and says why it lists nothing when there is no adapter or no permission.
    session.click("tab:Bluetooth")
    session.click("lockViaBluetooth")
    wait_for(lambda: session.shows("searchOutcomeLabel") or
             (session.widget("popupButton") or {}).get("enabled"), 20, "the Bluetooth search to end")
    outcome = session.widget("searchOutcomeLabel")
    check(not session.shows("searchOutcomeLabel") or outcome["text"] != "This program cannot use Bluetooth.",
          "the settings search with the Bluetooth service: %r" % (outcome or {}).get("text"))
    session.click("cancelButton")
    wait_for(lambda: not session.shows("cancelButton"), 10, "the Bluetooth sheet to close", interval=0.1)

    # 5. Start: the pane waits for Tarnwick to announce itself.
    session.start_or_stop_tarnwick("Stop")
    first = session.application_pid()
    check(first is not None, "Tarnwick runs and holds its bus name")
    path, spread = session.pane_screenshot("settings.png")
    print("# screenshot %s, grey spread %.3f" % (path, spread), flush=True)
    check(spread > 0.05, "the screenshot shows the pane's controls, not an empty window")

    # Tarnwick outlives the settings window that started it, and a new one finds it running.
    session.host.terminate()
    session.host.wait(timeout=10)
    time.sleep(0.5)
    check(session.application_pid() == first, "Tarnwick keeps running when the settings window closes")
    session.start_host(os.path.join(session.artifacts, "second-settings-window.log"))
    session.wait_shows("startStopButton", "Stop", enabled=True, timeout=20)
    check(session.shows("passwordSet", "Password set."), "a new settings window finds the password set")

    # 6. The hot key locks; the password unlocks.
    lock_with_hot_key(session, x)
    session.type_and_return(PASSWORD)
    wait_for(lambda: not x.keyboard_is_grabbed_by_another(), 10, "the keyboard to be released")
    check(True, "the hot key recorded in the pane locks and the password set in the pane unlocks")

    # 7. A password changed while Tarnwick runs unlocks the next lock; the old one does not.
    set_password(session, PASSWORD, NEW_PASSWORD)
    lock_with_hot_key(session, x)
    session.type_and_return(PASSWORD)
    wait_for(lambda: session.logged("got event com.quillmere.Tarnwick.wrongPasswordEvent"), 5,
             "the old password to be refused")
    check(x.keyboard_is_grabbed_by_another(), "the old password no longer unlocks")
    session.type_and_return(NEW_PASSWORD)
    wait_for(lambda: not x.keyboard_is_grabbed_by_another(), 10, "the keyboard to be released")
    check(True, "the new password unlocks")

    # 8. "Show in the task bar" takes effect by a restart.
    session.click("tab:General")
    session.click("showInDock")
    session.wait_shows("startStopButton", "Waiting\u2026", enabled=False)
    wait_for(lambda: session.application_pid() not in (None, first), 20, "Tarnwick to start again", interval=0.2)
    session.wait_shows("startStopButton", "Stop", enabled=True, timeout=20)
    check(True, "Tarnwick was restarted and the button reads Stop again")

    # 9. Stop ends Tarnwick; the button follows its announcement.
    session.start_or_stop_tarnwick("Start")
    check(session.application_pid() is None, "Tarnwick has ended and left the bus")
    x.close()


def run_keeping_evidence(session, scenario):
    """Runs `scenario(session)`; a failure leaves a screenshot and the widget map behind."""
    try:
        scenario(session)
    except Failure:
        if session.env:
            session.screenshot("failure.png")
            with open(os.path.join(session.artifacts, "widgets-at-failure.tsv"), "w") as f:
                for name, w in session.widgets().items():
                    f.write("%s\t%s\n" % (name, w))
        raise


def run_pane_scenario(session_class, scenario):
    """The main of a settings scenario: a pane session of `session_class`
    on a private display, `scenario` run in it, its outcome reported."""
    arguments = lock_cycle.parse_arguments("settings")
    lock_cycle.require_programs()
    os.makedirs(arguments.artifacts, exist_ok=True)
    session = session_class(arguments)
    return lock_cycle.run_reporting(session, lambda: run_keeping_evidence(session, scenario), log_lines=60)


def main():
    return run_pane_scenario(PaneSession, run)


if __name__ == "__main__":
    sys.exit(main())
