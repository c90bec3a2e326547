#pragma once

#include "platform/desktop/x11/X11Session.h"
#include "platform/desktop/x11/X11KeyEvents.h"
#include "platform/services/Input.h"

#include <vector>

namespace platform::desktop {

// Global hot keys as passive key grabs on the root window. A combination's
// macOS key code becomes the X key code of its key, its Carbon modifiers the
// X modifier mask; the grab is taken four times, with and without Caps Lock
// and Num Lock, so that the lock keys do not disable it. Combinations that
// would take keys away from typing are refused.
//
// A held combination fires once: a pressed key is remembered until it is
// released. The release may reach another client's grab or the lock's own
// grab instead of the root window, so releases are read from the keyboards'
// raw input, which reaches the root window whoever holds the keyboard.
class X11HotKeyCenter final : public HotKeyCenter {
public:
    explicit X11HotKeyCenter(X11Session& session);
    ~X11HotKeyCenter() override;

    bool registerHotKey(const HotKeyRef& hotKey) override;
    void unregisterHotKey(const HotKeyRef& hotKey) override;

private:
    struct Grab {
        HotKeyRef hotKey;
        unsigned keycode;
        unsigned modifiers;
    };
    bool handle(XEvent& event);
    void handleKey(const XKeyEvent& key);
    void forgetReleasedKey(XEvent& event);
    std::vector<unsigned> lockVariants() const;
    bool grab(unsigned keycode, unsigned modifiers);
    void ungrab(unsigned keycode, unsigned modifiers);

    X11Session& session_;
    int listener_ = 0;
    std::vector<Grab> grabs_;
    std::vector<unsigned> down_;
};

}  // namespace platform::desktop
