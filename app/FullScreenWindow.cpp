#include "app/FullScreenWindow.h"

FullScreenWindow::FullScreenWindow(platform::Rect contentRect) : platform::Window(contentRect, Borderless) {
    setOneShot(true);
    setDelegate(this);
    setAcceptsMouseMovedEvents(true);
    setLevel(platform::windowlevel::Shielding);
    setBackgroundColor(platform::Color::clear());
    // The cursor is hidden while locked; no view may bring it back.
    cursorRectsEnabled_ = false;
}
