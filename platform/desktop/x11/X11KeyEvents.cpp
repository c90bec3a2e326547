#include "platform/desktop/x11/X11KeyEvents.h"

#include <X11/XKBlib.h>

namespace platform::desktop {

unsigned long X11KeyEvents::baseKeysym(unsigned keycode) const {
    return XkbKeycodeToKeysym(display_, static_cast<KeyCode>(keycode), 0, 0);
}

EventRef X11KeyEvents::translate(const XKeyEvent& event, const keys::ModifierMasks& masks) {
    const bool press = event.type == KeyPress;
    if (!press) {
        down_.erase(event.keycode);
        return std::make_shared<Event>(Event::Type::KeyUp,
                                       keys::macKeyCode(baseKeysym(event.keycode)).value_or(kUnmappedKeyCode),
                                       std::string(), false, keys::eventModifiersForXState(event.state, masks));
    }
    const bool repeat = !down_.insert(event.keycode).second;
    KeySym typed = NoSymbol;
    unsigned int consumed = 0;
    XkbLookupKeySym(display_, static_cast<KeyCode>(event.keycode), event.state, &consumed, &typed);
    const auto code = keys::macKeyCode(baseKeysym(event.keycode));
    std::string characters = keys::charactersForKeysym(typed);
    if (!code && characters.empty()) return nullptr;
    // Keys of other layouts without an ANSI position (dead keys, national
    // letters) get a code that means "type the characters".
    return std::make_shared<Event>(Event::Type::KeyDown, code.value_or(kUnmappedKeyCode), std::move(characters), repeat,
                                   keys::eventModifiersForXState(event.state, masks));
}

}  // namespace platform::desktop
