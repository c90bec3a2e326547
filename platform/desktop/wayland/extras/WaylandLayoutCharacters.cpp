#include "platform/desktop/wayland/extras/WaylandLayoutCharacters.h"

#include "platform/desktop/wayland/extras/WaylandKeymapLayouts.h"
#include "platform/desktop/xkb/KeyDecoder.h"
#include "platform/desktop/xkb/TypableCharacters.h"

#include <memory>
#include <xkbcommon/xkbcommon.h>

namespace platform::desktop::wayland {

std::vector<std::string> WaylandLayoutCharacters::untypable(const std::string& text) {
    if (layouts_.keymapText().empty()) return {};
    const std::unique_ptr<xkb_context, void (*)(xkb_context*)> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS),
                                                                       xkb_context_unref);
    if (!context) return {};
    const std::unique_ptr<xkb_keymap, void (*)(xkb_keymap*)> keymap(
        xkb_keymap_new_from_string(context.get(), layouts_.keymapText().c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                   XKB_KEYMAP_COMPILE_NO_FLAGS),
        xkb_keymap_unref);
    if (!keymap) return {};
    return TypableCharacters(keymap.get(), KeyDecoder::localeFromEnvironment()).untypable(text);
}

}  // namespace platform::desktop::wayland
