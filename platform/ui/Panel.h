#pragma once

#include "platform/ui/Window.h"

namespace platform {

// An auxiliary window: a palette, a preview or an inspector. A floating panel
// stays above normal windows.
class Panel : public Window {
public:
    explicit Panel(Rect contentRect = {}, unsigned styleMask = Titled) : Window(contentRect, styleMask) {}

    bool isFloatingPanel() const { return level() == windowlevel::Floating; }
    void setFloatingPanel(bool floating) { setLevel(floating ? windowlevel::Floating : windowlevel::Normal); }
};

}  // namespace platform
