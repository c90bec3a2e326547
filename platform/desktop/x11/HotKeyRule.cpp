#include "platform/desktop/x11/HotKeyRule.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace platform::desktop::keys {

namespace {

bool composesCharacters(KeySym keysym) {
    return (keysym >= XK_dead_grave && keysym <= XK_dead_greek) || keysym == XK_Multi_key;
}

bool usedForTyping(KeySym keysym) {
    return !charactersForKeysym(keysym).empty() || composesCharacters(keysym) || IsModifierKey(keysym);
}

}  // namespace

bool interferesWithTyping(KeySym keysym, std::int32_t carbonModifiers) {
    const bool commandLike = (carbonModifiers & (kCarbonControl | kCarbonOption | kCarbonCmd)) != 0;
    return !commandLike && usedForTyping(keysym);
}

}  // namespace platform::desktop::keys
