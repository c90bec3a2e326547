#pragma once

#include "platform/ui/Geometry.h"

#include <functional>

class QWidget;

namespace platform::desktop {

// Where the windows that belong over the lock (shielding windows) go. On
// X11 they are native windows kept above the covers; on Wayland the lock's
// own surfaces show them, drawn from the widget, and the toolkit never maps
// them.
class ShieldHost {
public:
    virtual ~ShieldHost() = default;
    // A frame in screen coordinates (bottom-left origin on the main screen)
    // in the display server's coordinates.
    virtual Rect toRoot(const Rect& frame) = 0;
    // True when the host draws shielding windows itself: the toolkit keeps them off screen.
    virtual bool drawsShieldWindows() const = 0;
    // `lost` runs when another client destroys the window's native window.
    virtual void addShieldWindow(QWidget* widget, std::function<void()> lost) = 0;
    virtual void removeShieldWindow(QWidget* widget) = 0;
};

}  // namespace platform::desktop
