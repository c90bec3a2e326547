#include <QWidget>

#include "platform/desktop/x11/X11ShieldHost.h"

#include "platform/desktop/x11/X11Displays.h"

namespace platform::desktop {

Rect X11ShieldHost::toRoot(const Rect& frame) { return displays_.toRoot(frame); }

void X11ShieldHost::addShieldWindow(QWidget* widget, std::function<void()> lost) {
    const unsigned long id = widget->winId();
    registered_[widget] = id;
    displays_.addShieldWindow(id, std::move(lost));
}

void X11ShieldHost::removeShieldWindow(QWidget* widget) {
    const auto found = registered_.find(widget);
    if (found == registered_.end()) return;
    displays_.removeShieldWindow(found->second);
    registered_.erase(found);
}

}  // namespace platform::desktop
