#pragma once

#include "platform/desktop/x11/X11Session.h"
#include "platform/services/LockRequests.h"

namespace platform::desktop {

// The X server's idle counter (MIT-SCREEN-SAVER): milliseconds since the last
// input of any device or the last screen-saver reset (XResetScreenSaver,
// "xset s reset", "xdg-screensaver reset"). Says nothing on a server without
// the extension.
class X11IdleTime final : public IdleTime {
public:
    explicit X11IdleTime(X11Session& session);
    std::optional<double> secondsSinceActivity() const override;

private:
    X11Session& session_;
    bool available_ = false;
};

}  // namespace platform::desktop
