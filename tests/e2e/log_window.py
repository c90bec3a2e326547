#!/usr/bin/env python3
"""End-to-end: the event log window after an unlock with a wrong password.

Tarnwick starts locked with a stored password. A wrong password and then the
right one are typed; about a second after the unlock the log window must
appear, centred, 42 points per entry plus 60 high, with three rows (locked,
wrong password, unlocked), each with its icon and its texts. A screenshot of
it is kept as an artifact. Then the show-passwords checkbox reveals the typed
text in the wrong-password row only, and the clear button empties the log and
closes the window.

Exit status 77 means a required program is missing (the test is skipped).
"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lock_cycle  # noqa: E402
from lock_cycle import check, wait_for  # noqa: E402

TITLE = "Tarnwick Log"
WRONG = "wrong"
SCREEN_WIDTH, SCREEN_HEIGHT = 1280, 800
WINDOW_WIDTH = 480
ROW_HEIGHT, BAR_HEIGHT = 42, 60
EVENTS = ("screenLockedEvent", "wrongPasswordEvent", "screenUnlockedEvent")
# Where the parts of a row sit, from its left edge (the window's item layout).
ICON_COLUMNS = (8, 40)
DATE_COLUMNS = (48, 136)
TIME_COLUMNS = (140, 216)
MESSAGE_COLUMNS = (220, WINDOW_WIDTH - 8)


def log_window_id(session):
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % TITLE], env=session.env,
                           capture_output=True, text=True).stdout.split()
    return found[0] if found else None


def geometry(session, window):
    info = subprocess.run(["xwininfo", "-id", window], env=session.env, capture_output=True, text=True,
                          check=True).stdout
    values = {}
    for line in info.splitlines():
        key, _, value = line.strip().partition(":")
        if key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
            values[key] = int(value)
    return (values["Absolute upper-left X"], values["Absolute upper-left Y"], values["Width"], values["Height"])


def dark_pixels(path, x, y, width, height):
    """How many pixels of the area are dark (text, icons; the blue desktop is not)."""
    output = subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (width, height, x, y), "+repage",
                             "-colorspace", "Gray", "-threshold", "30%", "-negate", "-format",
                             "%[fx:int(mean*w*h+0.5)]", "info:"], capture_output=True, text=True, check=True)
    return int(output.stdout.strip())


def average_colour(path, x, y, width, height):
    output = subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (width, height, x, y), "+repage", "-scale",
                             "1x1!", "-format", "%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]", "info:"],
                            capture_output=True, text=True, check=True)
    return tuple(int(v) for v in output.stdout.split())


def area_signature(path, x, y, width, height):
    """The area's pixels, to tell whether it changed."""
    return subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (width, height, x, y), "+repage", "-depth",
                           "8", "gray:-"], capture_output=True, check=True).stdout


def row_area(frame, row, columns):
    left, top, _, _ = frame
    return left + columns[0], top + row * ROW_HEIGHT + 2, columns[1] - columns[0], ROW_HEIGHT - 4


def click(session, x, y):
    session.xdotool("mousemove", "--sync", str(x), str(y))
    session.xdotool("click", "1")


def run(session):
    display = session.setup()
    x = lock_cycle.X11(display)

    session.start_app()
    wait_for(x.keyboard_is_grabbed_by_another, 20, "the start-up lock")
    time.sleep(1.2)
    session.xdotool("key", "Escape")
    session.xdotool("type", "--delay", "30", WRONG)
    session.xdotool("key", "Return")
    wait_for(lambda: session.logged("LogHandler got event com.quillmere.Tarnwick.wrongPasswordEvent"), 5,
             "the wrong password in the log")
    check(log_window_id(session) is None, "no log window while locked")

    session.xdotool("type", "--delay", "30", lock_cycle.PASSWORD)
    session.xdotool("key", "Return")
    wait_for(lambda: not x.keyboard_is_grabbed_by_another(), 5, "the unlock")
    unlocked_at = time.monotonic()
    wait_for(lambda: log_window_id(session) is not None, 5, "the log window")
    delay = time.monotonic() - unlocked_at
    check(0.6 <= delay <= 2.5, "the log window appears about a second after the unlock (%.2f s)" % delay)

    logged = [line for line in session.log().splitlines() if "LogHandler got event" in line]
    check(len(logged) == 3 and all(line.endswith("." + event) for line, event in zip(logged, EVENTS)),
          "the log controller took the three events in order: locked, wrong password, unlocked")

    window = log_window_id(session)
    time.sleep(0.5)
    frame = geometry(session, window)
    height = ROW_HEIGHT * 3 + BAR_HEIGHT
    check(frame[2:] == (WINDOW_WIDTH, height), "the window is %dx%d for three entries (%dx%d)" %
          (WINDOW_WIDTH, height, frame[2], frame[3]))
    # Bottom-left screen coordinates: y = 3/5 of the screen less half the
    # height the window had before (the empty log's 60 points).
    expected_top = SCREEN_HEIGHT - (SCREEN_HEIGHT * 3 // 5 - BAR_HEIGHT // 2) - height
    check(frame[:2] == ((SCREEN_WIDTH - WINDOW_WIDTH) // 2, expected_top),
          "the window is centred and placed at three fifths of the screen (%d, %d)" % frame[:2])

    path, _ = session.screenshot("log_window.png")
    print("# screenshot %s" % path, flush=True)
    left, top, width, _ = frame
    window_dark = dark_pixels(path, left, top, width, height)
    check(dark_pixels(path, 0, 0, 300, 120) == 0 and window_dark > 500,
          "the screenshot shows the window's drawing over the plain desktop (%d dark pixels)" % window_dark)
    check(min(average_colour(path, left, top, width, height)) > 200, "the window is drawn light, not the desktop")
    for row in range(3):
        for name, columns in (("icon", ICON_COLUMNS), ("date", DATE_COLUMNS), ("time", TIME_COLUMNS),
                              ("message", MESSAGE_COLUMNS)):
            count = dark_pixels(path, *row_area(frame, row, columns))
            check(count > 10, "row %d shows its %s (%d dark pixels)" % (row + 1, name, count))
    bar = (left, top + 3 * ROW_HEIGHT, width, BAR_HEIGHT)
    check(dark_pixels(path, *bar) > 100, "the bar shows the checkbox and the clear button")

    # The checkbox sits at (16, 19) of the bar's bottom-left coordinates.
    messages_before = [area_signature(path, *row_area(frame, row, MESSAGE_COLUMNS)) for row in range(3)]
    click(session, left + 26, top + height - 30)
    time.sleep(0.5)
    shown, _ = session.screenshot("log_window_passwords.png")
    messages_after = [area_signature(shown, *row_area(frame, row, MESSAGE_COLUMNS)) for row in range(3)]
    check(messages_after[1] != messages_before[1], "show passwords changes the wrong-password row")
    check(messages_after[0] == messages_before[0] and messages_after[2] == messages_before[2],
          "show passwords leaves the other rows as they were")

    # The clear button: 84 x 28 at 100 points from the right edge, 16 up.
    click(session, left + width - 58, top + height - 30)
    wait_for(lambda: log_window_id(session) is None, 5, "the log window to close after clear")
    check(True, "the clear button empties the log and closes the window")
    check(session.app_process.poll() is None, "the application keeps running")
    x.close()


def main():
    arguments = lock_cycle.parse_arguments()
    lock_cycle.require_programs()
    os.makedirs(arguments.artifacts, exist_ok=True)
    session = lock_cycle.Session(arguments.app, arguments.pane, arguments.artifacts,
                                 preferences={"showLogOnUnlock": True, "showLogOnUnlockAfterFailedUnlock": True,
                                              "showInMenu": False})
    # Beside the lock cycle's artifacts, under names of its own.
    session.log_path = os.path.join(arguments.artifacts, "tarnwick-log-window.log")
    session.bus_log_path = os.path.join(arguments.artifacts, "bus-log-window.log")
    return lock_cycle.run_reporting(session, lambda: run(session), log_lines=30)


if __name__ == "__main__":
    sys.exit(main())
