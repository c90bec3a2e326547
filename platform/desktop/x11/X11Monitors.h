#pragma once

#include "platform/desktop/x11/X11Session.h"
#include "platform/services/Displays.h"

#include <vector>

namespace platform::desktop {

// One monitor in X root coordinates.
struct Monitor {
    DisplayID id = 0;
    int x = 0, y = 0, width = 0, height = 0;
    bool primary = false;
    bool operator==(const Monitor&) const = default;
};

// The monitors of the session's default screen, main first: the primary
// one, else the one at the origin. Without RandR monitors the whole screen
// is one.
std::vector<Monitor> queryMonitors(X11Session& session);

}  // namespace platform::desktop
