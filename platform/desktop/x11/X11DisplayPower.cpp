#include "platform/desktop/x11/X11DisplayPower.h"

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>

namespace platform::desktop {

namespace {

constexpr int kKeyPollMilliseconds = 50;
// After this long a stuck key no longer holds the monitors on.
constexpr int kMaximumWaitTicks = 100;

}  // namespace

X11DisplayPower::X11DisplayPower(X11Session& session) : session_(session) {
    keyWatch_.setInterval(kKeyPollMilliseconds);
    QObject::connect(&keyWatch_, &QTimer::timeout, [this] { powerOffWhenKeysAreUp(); });
}

bool X11DisplayPower::hasPowerEntry() {
    int event = 0, error = 0;
    return DPMSQueryExtension(session_.display(), &event, &error) && DPMSCapable(session_.display());
}

bool X11DisplayPower::anyKeyDown() {
    char keys[32] = {};
    XQueryKeymap(session_.display(), keys);
    for (char byte : keys)
        if (byte) return true;
    return false;
}

void X11DisplayPower::requestIdle() {
    if (!hasPowerEntry()) return;
    waitedTicks_ = 0;
    powerOffWhenKeysAreUp();
}

void X11DisplayPower::powerOffWhenKeysAreUp() {
    if (anyKeyDown() && waitedTicks_++ < kMaximumWaitTicks) {
        if (!keyWatch_.isActive()) keyWatch_.start();
        return;
    }
    keyWatch_.stop();
    Display* dpy = session_.display();
    DPMSEnable(dpy);
    DPMSForceLevel(dpy, DPMSModeOff);
    XFlush(dpy);
}

}  // namespace platform::desktop
