#include "platform/desktop/x11/X11HotKeyCenter.h"

#include "platform/desktop/x11/HotKeyRule.h"
#include "platform/foundation/LogSink.h"

#include <X11/extensions/XInput2.h>
#include <algorithm>
#include <string>

namespace platform::desktop {

X11HotKeyCenter::X11HotKeyCenter(X11Session& session) : session_(session) {
    listener_ = session_.addListener([this](XEvent& event) { return handle(event); });
    // The keyboards themselves, not only the master: while this client holds
    // the keyboard grab (the lock), the server gives it the master's raw
    // events only through that grab, but still the keyboards' own.
    session_.selectRootXIEvents(XIAllDevices, {XI_RawKeyRelease}, true);
}

X11HotKeyCenter::~X11HotKeyCenter() {
    session_.selectRootXIEvents(XIAllDevices, {XI_RawKeyRelease}, false);
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
    if (keys::interferesWithTyping(*keysym, hotKey->keyCombo().modifiers)) {
        if (hotKey->origin() == HotKey::Origin::NeverStored) return false;
        const char* name = XKeysymToString(*keysym);
        LogSink::write(std::string("Tarnwick: refused the hot key \"") + (name ? name : "?") +
                       "\" without Control, Option or Command: it would fire whenever that key is typed");
        return false;
    }
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
    if (event.type == GenericEvent) {
        forgetReleasedKey(event);
        // The event tap reads the same raw events.
        return false;
    }
    if (event.type != KeyPress && event.type != KeyRelease) return false;
    if (event.xkey.window != session_.root()) return false;
    handleKey(event.xkey);
    return true;
}

void X11HotKeyCenter::forgetReleasedKey(XEvent& event) {
    if (event.xcookie.extension != session_.xinputOpcode() || event.xcookie.evtype != XI_RawKeyRelease ||
        !event.xcookie.data)
        return;
    const auto keycode = static_cast<unsigned>(static_cast<const XIRawEvent*>(event.xcookie.data)->detail);
    std::erase(down_, keycode);
}

void X11HotKeyCenter::handleKey(const XKeyEvent& key) {
    if (key.type == KeyRelease) {
        std::erase(down_, key.keycode);
        return;
    }
    // Auto-repeat: a held combination fires once.
    if (std::find(down_.begin(), down_.end(), key.keycode) != down_.end()) return;
    down_.push_back(key.keycode);
    const keys::ModifierMasks& masks = session_.modifierMasks();
    const unsigned relevant = masks.shift | masks.control | masks.alt | masks.super;
    const unsigned modifiers = key.state & relevant;
    for (const Grab& grab : std::vector<Grab>(grabs_))
        if (grab.keycode == key.keycode && grab.modifiers == modifiers) grab.hotKey->invoke();
}

}  // namespace platform::desktop
