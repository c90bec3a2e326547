#include "platform/desktop/X11HotKeyCenter.h"

#include "platform/foundation/LogSink.h"

#include <algorithm>

namespace platform::desktop {

X11HotKeyCenter::X11HotKeyCenter(X11Session& session) : session_(session) {
    listener_ = session_.addListener([this](XEvent& event) { return handle(event); });
}

X11HotKeyCenter::~X11HotKeyCenter() {
    session_.removeListener(listener_);
    while (!grabs_.empty()) unregisterHotKey(grabs_.front().hotKey);
}

std::vector<unsigned> X11HotKeyCenter::lockVariants() const {
    const keys::ModifierMasks& masks = session_.modifierMasks();
    std::vector<unsigned> variants{0, masks.lock};
    if (masks.numLock) {
        variants.push_back(masks.numLock);
        variants.push_back(masks.numLock | masks.lock);
    }
    return variants;
}

bool X11HotKeyCenter::grab(unsigned keycode, unsigned modifiers) {
    X11Session::ErrorTrap trap(session_);
    for (unsigned variant : lockVariants())
        XGrabKey(session_.display(), static_cast<int>(keycode), modifiers | variant, session_.root(), False,
                 GrabModeAsync, GrabModeAsync);
    return trap.finish() == 0;
}

void X11HotKeyCenter::ungrab(unsigned keycode, unsigned modifiers) {
    X11Session::ErrorTrap trap(session_);
    for (unsigned variant : lockVariants())
        XUngrabKey(session_.display(), static_cast<int>(keycode), modifiers | variant, session_.root());
    trap.finish();
}

bool X11HotKeyCenter::registerHotKey(const HotKeyRef& hotKey) {
    if (!hotKey) return false;
    const auto keysym = keys::keysymForMacKeyCode(static_cast<std::uint16_t>(hotKey->keyCombo().keyCode));
    const KeyCode keycode = keysym ? XKeysymToKeycode(session_.display(), *keysym) : 0;
    if (!keycode) return false;
    const unsigned modifiers = keys::xModifiersForCarbon(hotKey->keyCombo().modifiers, session_.modifierMasks());
    if (!grab(keycode, modifiers)) {
        // Another client holds the combination; leave nothing half-taken.
        ungrab(keycode, modifiers);
        LogSink::write("Tarnwick: the hot key is taken by another application");
        return false;
    }
    grabs_.push_back({hotKey, keycode, modifiers});
    return true;
}

void X11HotKeyCenter::unregisterHotKey(const HotKeyRef& hotKey) {
    auto it = std::find_if(grabs_.begin(), grabs_.end(), [&](const Grab& g) { return g.hotKey == hotKey; });
    if (it == grabs_.end()) return;
    const Grab grab = *it;
    grabs_.erase(it);
    const bool shared = std::any_of(grabs_.begin(), grabs_.end(), [&](const Grab& g) {
        return g.keycode == grab.keycode && g.modifiers == grab.modifiers;
    });
    if (!shared) ungrab(grab.keycode, grab.modifiers);
}

bool X11HotKeyCenter::handle(XEvent& event) {
    if (event.type != KeyPress && event.type != KeyRelease) return false;
    if (event.xkey.window != session_.root()) return false;
    const unsigned keycode = event.xkey.keycode;
    if (event.type == KeyRelease) {
        down_.erase(std::remove(down_.begin(), down_.end(), keycode), down_.end());
        return true;
    }
    // A held combination fires once.
    if (std::find(down_.begin(), down_.end(), keycode) != down_.end()) return true;
    down_.push_back(keycode);
    const keys::ModifierMasks& masks = session_.modifierMasks();
    const unsigned relevant = masks.shift | masks.control | masks.alt | masks.super;
    const unsigned modifiers = event.xkey.state & relevant;
    for (const Grab& grab : std::vector<Grab>(grabs_))
        if (grab.keycode == keycode && grab.modifiers == modifiers) grab.hotKey->invoke();
    return true;
}

}  // namespace platform::desktop
