#include "platform/desktop/x11/X11IdleTime.h"

#include <X11/extensions/scrnsaver.h>

#include <memory>

namespace platform::desktop {

X11IdleTime::X11IdleTime(X11Session& session) : session_(session) {
    int eventBase = 0, errorBase = 0;
    available_ = XScreenSaverQueryExtension(session_.display(), &eventBase, &errorBase) != 0;
}

std::optional<double> X11IdleTime::secondsSinceActivity() const {
    if (!available_) return std::nullopt;
    const std::unique_ptr<XScreenSaverInfo, int (*)(void*)> info(XScreenSaverAllocInfo(), XFree);
    if (!info || !XScreenSaverQueryInfo(session_.display(), session_.root(), info.get())) return std::nullopt;
    return static_cast<double>(info->idle) / 1000.0;
}

}  // namespace platform::desktop
