#!/usr/bin/env python3
"""End-to-end: settings that cannot reach the disk are never shown as saved.

On a private X server and session bus, with a password set: "Tarnwick
Settings" is open when its preferences folder turns read-only (a read-only
bind mount: file modes would not stop root). A new password typed into the
password sheet is refused with an alert, the status still reads "Password
set." and the file keeps the old digest. A check box that cannot be written
says so too. Closing the window offers to try again; once the folder is
writable again, "Try Again" writes what was pending and the window closes.

Exit status 77 means a required program is missing or mounting is not
permitted here (the test is skipped).
"""

import ctypes
import hashlib
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lock_cycle  # noqa: E402
import settings_pane  # noqa: E402
from lock_cycle import check, wait_for  # noqa: E402

CLIENT_MESSAGE = 33


class UnsavedSession(settings_pane.PaneSession):
    """The password is set; Tarnwick is not running."""

    UNSET = ("lockOnStartup",)

    def write_preferences(self, home):
        config, data = super().write_preferences(home)
        self.folder = os.path.dirname(self.preferences_path)
        self.mounted = False
        return config, data

    def make_read_only(self):
        """A read-only bind mount over the preferences folder; False when
        this machine does not permit mounting."""
        bind = subprocess.run(["mount", "--bind", self.folder, self.folder], capture_output=True, text=True)
        if bind.returncode != 0:
            print("# mount --bind refused: %s" % bind.stderr.strip(), flush=True)
            return False
        self.mounted = True
        remount = subprocess.run(["mount", "-o", "remount,bind,ro", self.folder], capture_output=True, text=True)
        if remount.returncode != 0:
            print("# read-only remount refused: %s" % remount.stderr.strip(), flush=True)
            self.make_writable()
            return False
        return True

    def make_writable(self):
        if self.mounted:
            subprocess.run(["umount", "-l", self.folder], check=False)
            self.mounted = False

    def teardown(self):
        self.make_writable()
        super().teardown()


def request_close(x, window):
    """Asks the window to close as a window manager does (WM_DELETE_WINDOW)."""
    lib = x.lib
    lib.XInternAtom.restype = ctypes.c_ulong
    lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    lib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    event = ctypes.create_string_buffer(192)
    ctypes.c_int.from_buffer(event, 0).value = CLIENT_MESSAGE
    ctypes.c_ulong.from_buffer(event, 32).value = window
    ctypes.c_ulong.from_buffer(event, 40).value = lib.XInternAtom(x.dpy, b"WM_PROTOCOLS", 0)
    ctypes.c_int.from_buffer(event, 48).value = 32
    ctypes.c_long.from_buffer(event, 56).value = lib.XInternAtom(x.dpy, b"WM_DELETE_WINDOW", 0)
    lib.XSendEvent(x.dpy, window, 0, 0, event)
    lib.XSync(x.dpy, 0)


def dismiss_alert(session, message):
    session.wait_shows("alert", message)
    session.click("alert:button:Ok")
    wait_for(lambda: not session.shows("alert"), 10, "the alert to close", interval=0.1)


def run(session):
    display = session.setup()
    x = lock_cycle.X11(display)
    session.start_host()
    session.wait_shows("passwordSet", "Password set.", timeout=20)
    old_digest = hashlib.md5(lock_cycle.PASSWORD.encode()).hexdigest()
    if not session.make_read_only():
        print("SKIP: mounting is not permitted here", flush=True)
        sys.exit(lock_cycle.SKIP)

    # 1. A new password that cannot be written is refused, and the status does not claim it.
    session.click("setPasswordButton")
    session.wait_shows("newPassword")
    session.click("oldPassword")
    session.type_and_return(lock_cycle.PASSWORD)
    session.type_and_return("never stored")
    session.type_and_return("never stored")
    dismiss_alert(session, "Password not changed")
    check(session.shows("passwordSet", "Password set."), "the status does not say \"Password changed.\"")
    check(session.stored().get("password") == old_digest, "the file keeps the old password's digest")
    session.click("cancelPassword")
    wait_for(lambda: not session.shows("newPassword"), 10, "the password sheet to close", interval=0.1)

    # 2. A check box that cannot be written says so.
    session.click("lockOnStartup")
    dismiss_alert(session, "Settings not saved")
    check(not session.stored().get("lockOnStartup"), "the file is unchanged")

    # 3. Closing the window offers to try again; with room again, the change is written.
    request_close(x, int(session.widget("window:Tarnwick")["text"]))
    session.wait_shows("alert", "Settings not saved")
    check(session.shows("alert:button:Close Without Saving"), "the window may still be closed knowingly")
    session.make_writable()
    session.click("alert:button:Try Again")
    wait_for(lambda: session.host.poll() is not None, 10, "the settings window to close")
    stored = session.stored()
    check(stored.get("lockOnStartup") is True, "the pending check box was written as the window closed")
    check(stored.get("password") == old_digest, "the refused password never reached the file")
    x.close()


def main():
    return settings_pane.run_pane_scenario(UnsavedSession, run)


if __name__ == "__main__":
    sys.exit(main())
