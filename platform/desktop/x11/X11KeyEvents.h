#pragma once

#include "platform/desktop/xkb/KeyTranslation.h"
#include "platform/ui/Event.h"

#include <X11/Xlib.h>
#include <set>

namespace platform::desktop {

// Turns X key events into platform key events: the macOS key code of the
// key's unshifted symbol, the characters the active layout types with the
// event's modifiers and group, and the repeat flag for auto-repeats (a press
// of a key that is already down; detectable auto-repeat sends no release in
// between).
class X11KeyEvents {
public:
    static constexpr std::uint16_t kUnmappedKeyCode = 0xFFFF;

    explicit X11KeyEvents(Display* display) : display_(display) {}

    // None for a key that has no macOS counterpart and types nothing.
    EventRef translate(const XKeyEvent& event, const keys::ModifierMasks& masks);
    // The key symbol that names the key (group 1, unshifted).
    unsigned long baseKeysym(unsigned keycode) const;
    void reset() { down_.clear(); }

private:
    Display* display_;
    std::set<unsigned> down_;
};

}  // namespace platform::desktop
