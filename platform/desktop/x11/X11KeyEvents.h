#pragma once

#include "platform/desktop/xkb/KeyDecoder.h"
#include "platform/desktop/xkb/KeyTranslation.h"
#include "platform/ui/Event.h"

#include <X11/Xlib.h>
#include <set>

namespace platform::desktop {

// Turns decoded X key events into platform key events: the macOS key code
// of the key's base symbol, the text the key typed (none for a dead key or
// the inside of a compose sequence) and the repeat flag for auto-repeats (a
// press of a key that is already down; detectable auto-repeat sends no
// release in between).
class X11KeyEvents {
public:
    static constexpr std::uint16_t kUnmappedKeyCode = 0xFFFF;

    // None for a key that has no macOS counterpart, types nothing and
    // starts no sequence.
    EventRef translate(const XKeyEvent& event, const KeyDecoder::Key& key, xkb_keysym_t baseKeysym,
                       const keys::ModifierMasks& masks);
    void reset() { down_.clear(); }

private:
    std::set<unsigned> down_;
};

}  // namespace platform::desktop
