#pragma once

#include <string>
#include <xkbcommon/xkbcommon.h>

namespace platform::desktop {

// The keymap of the one layout the settings name ("xkb:de", "xkb:us(intl)"),
// compiled with the rules and model the display server goes by, so that a
// key is read as it was when the password was set, whatever layout is at
// hand now. None (nullptr) when the name is no xkb layout's or the system
// has no such layout; the caller owns what it answers.
xkb_keymap* compileLayout(xkb_context* context, const std::string& identifier, const std::string& rules,
                          const std::string& model);

}  // namespace platform::desktop
