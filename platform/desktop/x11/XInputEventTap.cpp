#include "platform/desktop/x11/XInputEventTap.h"

#include <X11/extensions/XInput2.h>

namespace platform::desktop {

bool XInputEventTap::create(Callback callback) {
    if (!session_.hasXInput2()) return false;
    destroy();
    callback_ = std::move(callback);
    selectRawEvents(true);
    listener_ = session_.addListener([this](XEvent& event) { return handle(event); });
    return true;
}

void XInputEventTap::destroy() {
    if (!listener_) return;
    session_.removeListener(listener_);
    listener_ = 0;
    selectRawEvents(false);
    callback_ = nullptr;
}

void XInputEventTap::selectRawEvents(bool on) {
    session_.selectRootXIEvents(
        XIAllMasterDevices, {XI_RawKeyPress, XI_RawKeyRelease, XI_RawButtonPress, XI_RawButtonRelease, XI_RawMotion},
        on);
}

bool XInputEventTap::handle(XEvent& event) {
    if (event.type != GenericEvent || event.xcookie.extension != session_.xinputOpcode() || !event.xcookie.data)
        return false;
    Event::Type type;
    switch (event.xcookie.evtype) {
        case XI_RawKeyPress: type = Event::Type::KeyDown; break;
        case XI_RawKeyRelease: type = Event::Type::KeyUp; break;
        // A press or a release of any button is activity of the mouse.
        case XI_RawButtonPress:
        case XI_RawButtonRelease: type = Event::Type::LeftMouseDown; break;
        case XI_RawMotion: type = Event::Type::MouseMoved; break;
        default: return false;
    }
    if (callback_) callback_(Event::ofType(type));
    return true;
}

}  // namespace platform::desktop
