#include "platform/desktop/x11/X11KeyEvents.h"

namespace platform::desktop {

EventRef X11KeyEvents::translate(const XKeyEvent& event, const KeyDecoder::Key& key, xkb_keysym_t baseKeysym,
                                 const keys::ModifierMasks& masks) {
    const auto code = keys::macKeyCode(baseKeysym);
    const std::uint32_t modifiers = keys::eventModifiersForXState(event.state, masks);
    if (event.type != KeyPress) {
        down_.erase(event.keycode);
        return std::make_shared<Event>(Event::Type::KeyUp, code.value_or(kUnmappedKeyCode), std::string(), false,
                                       modifiers);
    }
    const bool repeat = !down_.insert(event.keycode).second;
    // Return, Escape and BackSpace deliver their control characters, as the
    // platform's key events do.
    std::string characters = key.text;
    if (!code && characters.empty() && !key.composing) return nullptr;
    // Keys of other layouts without an ANSI position (dead keys, national
    // letters) get a code that means "type the characters".
    return std::make_shared<Event>(Event::Type::KeyDown, code.value_or(kUnmappedKeyCode), std::move(characters), repeat,
                                   modifiers);
}

}  // namespace platform::desktop
