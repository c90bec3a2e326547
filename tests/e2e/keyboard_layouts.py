#!/usr/bin/env python3
"""End-to-end: every password the settings take can be typed at the lock.

For each keyboard layout of the table (set with setxkbmap on a private X
server), the password is typed into the real tarnwick-settings window key by
key, dead keys, compose sequences and group switches included, and the same
keys are then pressed at the lock screen: the digest stored must be that of
the text the keys type, and the lock must open. Keys are named by their
symbols and pressed with "xdotool key", so that each is a key of the layout
("xdotool type é" would map a spare key straight to é and prove nothing).

Exit status 77 means a required program is missing (the test is skipped).
"""

import hashlib
import os
import plistlib
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lock_cycle  # noqa: E402
import settings_pane  # noqa: E402
from lock_cycle import Failure, check, wait_for  # noqa: E402

# Name, setxkbmap arguments, the keys pressed, the text they type.
LAYOUTS = [
    ("us", ["-layout", "us"], "p a s s space 1 exclam", "pass 1!"),
    ("de", ["-layout", "de"], "G r odiaeresis ssharp e space dead_acute e", "Größe é"),
    ("fr", ["-layout", "fr"], "c a f eacute space dead_circumflex e", "café ê"),
    # The second dead key starts a sequence that q cancels: q types itself.
    ("us(intl)", ["-layout", "us", "-variant", "intl"], "c a f dead_acute e space dead_acute q 9", "café q9"),
    ("es", ["-layout", "es"], "c a f dead_acute e space ntilde", "café ñ"),
    ("us+ru", ["-layout", "us,ru", "-option", "grp:alt_shift_toggle"],
     "b u g alt+shift Cyrillic_zhe Cyrillic_u Cyrillic_ka alt+shift 7", "bugжук7"),
    ("us with a compose key", ["-layout", "us", "-option", "compose:ralt"], "c o p y Multi_key o c", "copy©"),
]


class LayoutSession(settings_pane.PaneSession):
    """Tarnwick runs with the lock hot key stored; the settings window is
    opened afresh for each layout, with no password stored, so that the
    sheet asks only for the new one."""

    def __init__(self, arguments):
        super().__init__(arguments)
        # Dead keys and compose sequences come from the locale's Compose
        # file: the same one for every run, whatever the machine's locale.
        self.extra_env = {"LANG": "C.UTF-8", "LC_ALL": "", "LC_CTYPE": ""}

    def write_preferences(self, home):
        config, data = lock_cycle.Session.write_preferences(self, home)
        self.preferences_path = os.path.join(config, "preferences", "com.quillmere.Tarnwick.plist")
        self.edit_preferences(lambda p: p.update(lockOnStartup=False))
        return config, data

    def edit_preferences(self, change):
        with open(self.preferences_path, "rb") as f:
            preferences = plistlib.load(f)
        change(preferences)
        with open(self.preferences_path, "wb") as f:
            plistlib.dump(preferences, f)


def press(session, keys):
    session.xdotool("key", "--delay", "40", *keys.split())


def set_password_in_settings(session, keys, text):
    session.edit_preferences(lambda p: p.pop("password", None))
    session.start_host(os.path.join(session.artifacts, "settings.log"))
    session.wait_shows("passwordSet", "Password not set.", timeout=20)
    session.click("setPasswordButton")
    session.wait_shows("newPassword")
    session.click("newPassword")
    for _ in range(2):
        press(session, keys)
        session.xdotool("key", "Return")
    wait_for(lambda: not session.shows("newPassword"), 10, "the password sheet to close", interval=0.1)
    digest = hashlib.md5(text.encode()).hexdigest()
    wait_for(lambda: session.stored().get("password") == digest, 5, "the digest of %r in the preferences" % text)
    session.host.terminate()
    session.host.wait(timeout=10)


def unlock_with_keys(session, x, keys, wakes):
    session.xdotool("key", settings_pane.HOTKEY_XDOTOOL)
    wait_for(x.keyboard_is_grabbed_by_another, 10, "the keyboard grab after the hot key")
    time.sleep(1.2)  # a key within the lock's first second does not wake the prompt
    session.xdotool("key", "Escape")
    wait_for(lambda: session.log().count("KEY DOWN while dimmed") > wakes, 5, "the lock window to wake")
    press(session, keys)
    session.xdotool("key", "Return")
    wait_for(lambda: not x.keyboard_is_grabbed_by_another(), 10, "the unlock")


def run(session):
    display = session.setup()
    x = lock_cycle.X11(display)
    session.start_app()
    wait_for(lambda: session.application_pid() is not None, 20, "Tarnwick on the bus", interval=0.2)
    for wakes, (name, arguments, keys, text) in enumerate(LAYOUTS):
        subprocess.run(["setxkbmap", *arguments], env=session.env, check=True)
        set_password_in_settings(session, keys, text)
        check(True, "%s: the settings window stores the digest of %r typed as %s" % (name, text, keys))
        unlock_with_keys(session, x, keys, wakes)
        check(True, "%s: the same keys unlock the lock screen" % name)
    x.close()


def main():
    if not shutil.which("setxkbmap"):
        print("setxkbmap is missing (x11-xkb-utils)", flush=True)
        return 77
    return settings_pane.run_pane_scenario(LayoutSession, run)


if __name__ == "__main__":
    sys.exit(main())
