#pragma once

#include <QTimer>

#include "platform/desktop/x11/X11Session.h"

#include <set>

namespace platform::desktop {

// The lock's hold on input: the core keyboard and pointer and every further
// XInput2 master device, all grabbed on the root window, which no other
// client can unmap or destroy (a grab on any other window ends the moment
// that window stops being viewable). A grab lost anyway (an XKB ungrab
// action, a new master device) is taken back at once, and retried until it
// holds; the lock never gives way because a grab did.
class X11Grabs {
public:
    explicit X11Grabs(X11Session& session);
    ~X11Grabs();

    // Takes everything now, in one attempt; when another client holds the
    // keyboard or the pointer nothing is held and the caller may try again
    // later (the lock does, on a timer).
    bool take();
    void release();
    bool held() const { return held_; }

    // Takes every grab again now (one that is still ours is simply renewed,
    // a new master device is added); when that fails, keeps trying on a
    // timer and says so in the log.
    void reassert();
    // Master devices grabbed besides the core pair.
    const std::set<int>& extraDevices() const { return devices_; }

private:
    bool grabAll();
    bool grabCorePair();
    bool grabExtraMasterDevices();
    void ungrabAll();

    X11Session& session_;
    bool held_ = false;
    std::set<int> devices_;
    QTimer retry_;
};

}  // namespace platform::desktop
