#include "platform/desktop/x11/X11ScreenSaverActivation.h"

#include <X11/extensions/scrnsaver.h>

namespace platform::desktop {

X11ScreenSaverActivation::X11ScreenSaverActivation(X11Session& session, std::function<void()> activated)
    : session_(session), activated_(std::move(activated)) {
    int errorBase = 0;
    if (!XScreenSaverQueryExtension(session_.display(), &eventBase_, &errorBase)) {
        eventBase_ = -1;
        return;
    }
    listener_ = session_.addListener([this](XEvent& event) { return handle(event); });
    XScreenSaverSelectInput(session_.display(), session_.root(), ScreenSaverNotifyMask);
    XFlush(session_.display());
}

X11ScreenSaverActivation::~X11ScreenSaverActivation() {
    if (eventBase_ < 0) return;
    XScreenSaverSelectInput(session_.display(), session_.root(), 0);
    XFlush(session_.display());
    session_.removeListener(listener_);
}

bool X11ScreenSaverActivation::handle(const XEvent& event) {
    if (event.type != eventBase_ + ScreenSaverNotify) return false;
    const auto& notify = reinterpret_cast<const XScreenSaverNotifyEvent&>(event);
    if (notify.state == ScreenSaverOn && notify.forced) activated_();
    return true;
}

}  // namespace platform::desktop
