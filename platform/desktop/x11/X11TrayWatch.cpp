#include "platform/desktop/x11/X11TrayWatch.h"

#include <X11/extensions/Xfixes.h>
#include <string>

namespace platform::desktop {

X11TrayWatch::X11TrayWatch(X11Session& session, std::function<void()> trayAppeared)
    : session_(session), trayAppeared_(std::move(trayAppeared)) {
    Display* dpy = session_.display();
    int eventBase = 0, errorBase = 0;
    if (!XFixesQueryExtension(dpy, &eventBase, &errorBase)) return;
    xfixesEventBase_ = eventBase;
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(dpy));
    selection_ = XInternAtom(dpy, name.c_str(), False);
    listener_ = session_.addListener([this](XEvent& event) { return handleEvent(event); });
    selectOwnerChanges(true);
}

X11TrayWatch::~X11TrayWatch() {
    if (xfixesEventBase_ < 0) return;
    selectOwnerChanges(false);
    session_.removeListener(listener_);
}

void X11TrayWatch::selectOwnerChanges(bool on) {
    XFixesSelectSelectionInput(session_.display(), session_.root(), selection_,
                               on ? XFixesSetSelectionOwnerNotifyMask : 0);
    XFlush(session_.display());
}

bool X11TrayWatch::handleEvent(XEvent& event) {
    if (event.type != xfixesEventBase_ + XFixesSelectionNotify) return false;
    const auto& notify = reinterpret_cast<const XFixesSelectionNotifyEvent&>(event);
    if (notify.selection != selection_) return false;
    // A tray that goes away is no news; the icon waits for the next one.
    if (notify.owner == None) return true;
    // A copy, since the owner may end the watch from within.
    const auto appeared = trayAppeared_;
    appeared();
    return true;
}

}  // namespace platform::desktop
