// What reaches the displays from the X server: monitor changes, input under
// the lock's grab, and everything another client can do to the covers, the
// shields or the grab. A lost grab and a window of the lock unmapped,
// reparented or destroyed are answered within the event that announces
// them; stacking changes once per batch of events, however many came.

#include "platform/desktop/x11/X11Displays.h"

#include "platform/ui/Window.h"

#include <X11/extensions/XInput2.h>
#include <X11/extensions/Xrandr.h>

namespace platform::desktop {

bool X11Displays::handleEvent(XEvent& event) {
    const int randrBase = session_.randrEventBase();
    if (randrBase >= 0 && (event.type == randrBase + RRScreenChangeNotify || event.type == randrBase + RRNotify)) {
        XRRUpdateConfiguration(&event);
        if (isCaptured()) followMonitors();
        return false;
    }
    if (!isCaptured()) return false;
    if (isRootReconfigured(event)) {
        if (monitors() != coveredMonitors_) followMonitors();
        return false;
    }
    if (event.type == GenericEvent) return handleXInput(event);
    if (handleInput(event)) return true;
    handleStacking(event);
    return false;
}

bool X11Displays::isRootReconfigured(const XEvent& event) const {
    return event.type == ConfigureNotify && event.xconfigure.window == session_.root() &&
           event.xconfigure.event == session_.root();
}

bool X11Displays::handleInput(XEvent& event) {
    // Everything the keyboard and the pointer do goes to the grab, which is
    // ours alone while captured.
    switch (event.type) {
        case KeyPress:
        case KeyRelease: keyboard_.take(event.xkey); return true;
        case ButtonPress: {
            if (event.xbutton.button >= 4 && event.xbutton.button <= 7) {
                deliver(Event::ofType(Event::Type::ScrollWheel));
                return true;
            }
            const auto type = event.xbutton.button == Button1   ? Event::Type::LeftMouseDown
                              : event.xbutton.button == Button3 ? Event::Type::RightMouseDown
                                                                : Event::Type::OtherMouseDown;
            deliver(Event::ofType(type));
            return true;
        }
        case MotionNotify: deliver(Event::ofType(Event::Type::MouseMoved)); return true;
        case ButtonRelease: return true;
        default: return false;
    }
}

bool X11Displays::handleXInput(XEvent& event) {
    if (event.xcookie.extension != session_.xinputOpcode() || !event.xcookie.data) return false;
    if (event.xcookie.evtype == XI_HierarchyChanged) {
        const auto* change = static_cast<XIHierarchyEvent*>(event.xcookie.data);
        if (change->flags & (XIMasterAdded | XISlaveAttached)) grabs_.reassert();
        return false;
    }
    // Input of further master devices under their grab.
    if (event.xcookie.evtype == XI_KeyPress || event.xcookie.evtype == XI_ButtonPress ||
        event.xcookie.evtype == XI_KeyRelease || event.xcookie.evtype == XI_Motion) {
        const auto* device = static_cast<XIDeviceEvent*>(event.xcookie.data);
        return grabs_.extraDevices().count(device->deviceid) > 0;
    }
    return false;
}

void X11Displays::handleStacking(XEvent& event) {
    switch (event.type) {
        case UnmapNotify: covers_.unmapped(event.xunmap.window); break;
        case DestroyNotify: covers_.destroyed(event.xdestroywindow.window); break;
        case ReparentNotify:
            if (!covers_.reparented(event.xreparent.window, event.xreparent.parent, event.xreparent.x,
                                    event.xreparent.y))
                covers_.stackingChanged();
            break;
        case FocusOut:
            // The server ended the keyboard grab (an XKB ungrab action).
            if (event.xfocus.mode == NotifyUngrab) grabs_.reassert();
            break;
        case MapNotify:
        case ConfigureNotify:
        case CirculateNotify:
        case VisibilityNotify: covers_.stackingChanged(); break;
        default: covers_.extensionEvent(event); break;
    }
}

void X11Displays::deliver(const EventRef& event) {
    if (Window* target = Window::inputTarget()) target->sendEvent(event);
}

}  // namespace platform::desktop
