#pragma once

#include "platform/services/LayoutCharacters.h"

namespace platform::desktop::wayland {

class WaylandKeymapLayouts;

// The characters of the keymap the compositor sent last, in every group,
// and of the compose sequences of the locale's Compose file that its keys
// can type: what the lock, which gets the same keymap, can take.
class WaylandLayoutCharacters final : public LayoutCharacters {
public:
    explicit WaylandLayoutCharacters(const WaylandKeymapLayouts& layouts) : layouts_(layouts) {}
    // Nothing is untypable while no keymap has come: the keyboard is unknown.
    std::vector<std::string> untypable(const std::string& text) override;

private:
    const WaylandKeymapLayouts& layouts_;
};

}  // namespace platform::desktop::wayland
