#pragma once

#include "platform/desktop/x11/X11Session.h"

#include <functional>

namespace platform::desktop {

// The X server's screen saver switched on on request ("xset s activate",
// "xdg-screensaver activate", XForceScreenSaver), which desktops without a
// locker of their own send to lock the screen. Its own time-out switching it
// on is not a request: locking after inactivity is the application's setting.
class X11ScreenSaverActivation {
public:
    X11ScreenSaverActivation(X11Session& session, std::function<void()> activated);
    ~X11ScreenSaverActivation();
    X11ScreenSaverActivation(const X11ScreenSaverActivation&) = delete;
    X11ScreenSaverActivation& operator=(const X11ScreenSaverActivation&) = delete;

private:
    bool handle(const XEvent& event);

    X11Session& session_;
    std::function<void()> activated_;
    int eventBase_ = -1;
    int listener_ = 0;
};

}  // namespace platform::desktop
