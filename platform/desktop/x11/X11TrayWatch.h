#pragma once

#include "platform/desktop/x11/X11Session.h"

#include <functional>

namespace platform::desktop {

// Tells when a system tray appears on the default screen: the X server
// reports each new owner of the tray manager selection (_NET_SYSTEM_TRAY_S<n>)
// through XFixes, so nothing has to ask it again and again. Without XFixes
// there is no report.
class X11TrayWatch {
public:
    X11TrayWatch(X11Session& session, std::function<void()> trayAppeared);
    ~X11TrayWatch();
    X11TrayWatch(const X11TrayWatch&) = delete;
    X11TrayWatch& operator=(const X11TrayWatch&) = delete;

private:
    bool handleEvent(XEvent& event);
    void selectOwnerChanges(bool on);

    X11Session& session_;
    std::function<void()> trayAppeared_;
    Atom selection_ = 0;
    int xfixesEventBase_ = -1;
    int listener_ = 0;
};

}  // namespace platform::desktop
