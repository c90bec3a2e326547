#pragma once

#include "platform/desktop/x11/X11Session.h"
#include "platform/services/LayoutCharacters.h"

namespace platform::desktop {

// The characters of the keymap the X server holds now, in every group (the
// lock follows group switches as the keys come), and of the compose
// sequences of the locale's Compose file that its keys can type.
class XkbLayoutCharacters final : public LayoutCharacters {
public:
    explicit XkbLayoutCharacters(X11Session& session) : session_(session) {}
    std::vector<std::string> untypable(const std::string& text) override;

private:
    X11Session& session_;
};

}  // namespace platform::desktop
