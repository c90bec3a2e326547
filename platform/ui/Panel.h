#pragma once

#include "platform/ui/Window.h"

namespace platform {

// An auxiliary window: a palette, a preview or an inspector. A floating panel
// stays above normal windows.
class Panel : public Window {
public:
    enum StyleMask : unsigned { Borderless = 0, Titled = 1u << 0, Closable = 1u << 1, Resizable = 1u << 3 };

    explicit Panel(Rect contentRect = {}, unsigned styleMask = Titled) : Window(contentRect), styleMask_(styleMask) {}

    unsigned styleMask() const { return styleMask_; }
    bool isFloatingPanel() const { return level() == windowlevel::Floating; }
    void setFloatingPanel(bool floating) { setLevel(floating ? windowlevel::Floating : windowlevel::Normal); }

private:
    unsigned styleMask_;
};

}  // namespace platform
