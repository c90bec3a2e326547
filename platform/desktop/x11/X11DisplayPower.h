#pragma once

#include <QTimer>

#include "platform/desktop/x11/X11Session.h"
#include "platform/services/Displays.h"

namespace platform::desktop {

// Display sleep through DPMS. The key that asked for it (a hot key, the
// key that locked) is usually still down, and its release would wake the
// monitor at once, so the monitors go off only once every key is up.
class X11DisplayPower final : public DisplayPower {
public:
    explicit X11DisplayPower(X11Session& session);
    bool hasPowerEntry() override;
    void requestIdle() override;

private:
    bool anyKeyDown();
    void powerOffWhenKeysAreUp();

    X11Session& session_;
    QTimer keyWatch_;
    int waitedTicks_ = 0;
};

}  // namespace platform::desktop
