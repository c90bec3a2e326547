#pragma once

#include "platform/ui/Window.h"

// The borderless lock window: above every other window, shielding the
// captured displays, and able to become key although it has no title bar.
class FullScreenWindow : public platform::Window, public platform::WindowDelegate {
public:
    explicit FullScreenWindow(platform::Rect contentRect);

    bool canBecomeKeyWindow() const override { return true; }
    bool areCursorRectsEnabled() const { return cursorRectsEnabled_; }

private:
    bool cursorRectsEnabled_ = true;
};
