#include "platform/desktop/x11/XkbLayoutCharacters.h"

#include "platform/desktop/x11/X11Keymaps.h"
#include "platform/desktop/xkb/KeyDecoder.h"
#include "platform/desktop/xkb/TypableCharacters.h"

#include <X11/Xlib-xcb.h>

namespace platform::desktop {

std::vector<std::string> XkbLayoutCharacters::untypable(const std::string& text) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context) return {};
    std::vector<std::string> missing;
    // The keymap as it is now, not as it was when the settings opened.
    if (const KeymapRef keymap = fetchCoreKeymap(XGetXCBConnection(session_.display()), context))
        missing = TypableCharacters(keymap.get(), KeyDecoder::localeFromEnvironment()).untypable(text);
    xkb_context_unref(context);
    return missing;
}

}  // namespace platform::desktop
