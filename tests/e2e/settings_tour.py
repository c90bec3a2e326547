#!/usr/bin/env python3
"""End-to-end: one picture of each tab of "Tarnwick Settings", for the README.

On a private X server and session bus, with a password and the lock hot key
set and Tarnwick not running, the settings window is opened and each tab is
shown in turn; each picture is cut to the window and kept in the artifacts
folder as docs/ names it (settings-general.png ...). Copied into docs/, they
are the README's walk-through. Each picture must show controls, not an empty
window.

Exit status 77 means a required program is missing (the test is skipped).
"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import settings_pane  # noqa: E402
from lock_cycle import check, wait_for  # noqa: E402

# Each tab, and the name of its picture in docs/.
TABS = [
    ("General", "settings-general.png"),
    ("Events", "settings-events.png"),
    ("Lock Screen", "settings-lock-screen.png"),
    ("Hot Keys and Log", "settings-hot-keys.png"),
    ("Photos", "settings-photos.png"),
    ("Bluetooth", "settings-bluetooth.png"),
]


class TourSession(settings_pane.PaneSession):
    """The password and the lock hot key are set; Tarnwick is not running."""

    UNSET = ("lockOnStartup",)

    def window_picture(self, name):
        """The settings window alone, kept as `name` in the artifacts."""
        window = self.widget("window:Tarnwick")
        screen, _ = self.screenshot("screen-" + name)
        path = os.path.join(self.artifacts, name)
        geometry = "%dx%d+%d+%d" % (window["w"], window["h"], window["x"], window["y"])
        subprocess.run(["convert", screen, "-crop", geometry, "+repage", path], check=True)
        os.remove(screen)
        spread = subprocess.run(["convert", path, "-colorspace", "gray", "-format", "%[fx:standard_deviation]",
                                 "info:"], capture_output=True, text=True, check=True).stdout
        return path, float(spread)


def run(session):
    session.setup()
    session.start_host()
    session.wait_shows("passwordSet", "Password set.", timeout=20)
    for tab, picture in TABS:
        session.click("tab:" + tab)
        wait_for(lambda: session.widget("tab:" + tab)["checked"] == "1", 5, "the %s tab" % tab)
        if tab == "Events":
            session.click("events:2:name")
            session.wait_shows("actions:0:name", "Log")
        # The pointer stays off the window, and the window has drawn.
        session.xdotool("mousemove", "1270", "790")
        time.sleep(0.6)
        path, spread = session.window_picture(picture)
        print("# %s: %s, grey spread %.3f" % (tab, path, spread), flush=True)
        check(spread > 0.05, "the picture of %s shows its controls" % tab)


def main():
    return settings_pane.run_pane_scenario(TourSession, run)


if __name__ == "__main__":
    sys.exit(main())
