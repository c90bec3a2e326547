#include "platform/desktop/DesktopCompositorSession.h"

#include "platform/desktop/xkb/KeyTranslation.h"

#include <xkbcommon/xkbcommon.h>

#include <cstdlib>

namespace platform::desktop {

Compositor DesktopCompositorSession::compositor() const {
    return compositorOfEnvironment([](const char* name) { return std::getenv(name); });
}

std::string DesktopCompositorSession::keyName(std::int32_t macKeyCode) const {
    if (macKeyCode < 0 || macKeyCode > 0xFFFF) return {};
    const auto keysym = keys::keysymForMacKeyCode(static_cast<std::uint16_t>(macKeyCode));
    if (!keysym) return {};
    char name[64] = {};
    if (xkb_keysym_get_name(static_cast<xkb_keysym_t>(*keysym), name, sizeof name) <= 0) return {};
    return name;
}

}  // namespace platform::desktop
