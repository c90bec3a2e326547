#include "platform/desktop/x11/X11Monitors.h"

#include <X11/extensions/Xrandr.h>
#include <algorithm>

namespace platform::desktop {

namespace {

std::vector<Monitor> randrMonitors(X11Session& session) {
    std::vector<Monitor> result;
    if (session.randrEventBase() < 0) return result;
    int count = 0;
    XRRMonitorInfo* info = XRRGetMonitors(session.display(), session.root(), True, &count);
    for (int i = 0; info && i < count; ++i)
        result.push_back({static_cast<DisplayID>(info[i].name), info[i].x, info[i].y, info[i].width, info[i].height,
                          info[i].primary != 0});
    if (info) XRRFreeMonitors(info);
    return result;
}

}  // namespace

std::vector<Monitor> queryMonitors(X11Session& session) {
    std::vector<Monitor> result = randrMonitors(session);
    if (result.empty()) {
        Display* dpy = session.display();
        result.push_back(
            {1, 0, 0, DisplayWidth(dpy, DefaultScreen(dpy)), DisplayHeight(dpy, DefaultScreen(dpy)), true});
    }
    auto main = std::find_if(result.begin(), result.end(), [](const Monitor& m) { return m.primary; });
    if (main == result.end())
        main = std::find_if(result.begin(), result.end(), [](const Monitor& m) { return m.x == 0 && m.y == 0; });
    if (main != result.end() && main != result.begin()) std::rotate(result.begin(), main, main + 1);
    return result;
}

}  // namespace platform::desktop
