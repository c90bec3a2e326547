#pragma once

#include "platform/desktop/xkb/KeyTranslation.h"

#include <cstdint>

namespace platform::desktop::keys {

// Whether a hot key on this combination would take keys away from typing:
// its key types a character (letters, digits, punctuation, space, Return,
// Tab, BackSpace, Escape, the keypad), composes one (dead keys, Compose) or
// is a modifier, and neither Control, Option nor Command is part of it.
// Shift does not count: it only changes which character is typed. Such a
// combination would fire whenever anyone types in any application, so it is
// never grabbed; keys that type nothing (function keys, Pause, the lock and
// screen-saver keys) stay usable on their own.
bool interferesWithTyping(KeySym keysym, std::int32_t carbonModifiers);

}  // namespace platform::desktop::keys
