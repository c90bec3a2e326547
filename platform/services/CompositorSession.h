#pragma once

#include "platform/services/Service.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace platform {

// The compositor of a Wayland session, as far as the settings must tell
// the user what to put into its configuration: Wayland gives programs no
// global hot keys, and some compositors start no XDG autostart entries.
enum class Compositor { X11, Sway, Hyprland, River, OtherWayland };

// The compositor, from the variables a session gives its programs
// (WAYLAND_DISPLAY, SWAYSOCK, HYPRLAND_INSTANCE_SIGNATURE, XDG_CURRENT_DESKTOP);
// X11 outside a Wayland session. `variable` reads one (getenv).
Compositor compositorOfEnvironment(const std::function<const char*(const char*)>& variable);

// Whether the session's compositor leaves global hot keys to its own
// configuration.
inline bool bindsHotKeysItself(Compositor compositor) { return compositor != Compositor::X11; }

// Whether the session starts XDG autostart entries (the login items).
bool startsAutostartEntries(Compositor compositor);

// The line of the compositor's configuration that runs `command` on the key
// named `keyName` (an XKB key name: "l", "F12") with the Carbon modifier
// flags `carbonModifiers`; empty where the compositor's syntax is unknown.
std::string hotKeyBindLine(Compositor compositor, const std::string& keyName, std::int32_t carbonModifiers,
                           const std::string& command);

// The line of the compositor's configuration that starts `command` at login;
// empty where the compositor's syntax is unknown.
std::string autostartLine(Compositor compositor, const std::string& command);

// What the desktop backend knows of the session for those lines.
class CompositorSession : public Service<CompositorSession> {
public:
    virtual ~CompositorSession() = default;
    virtual Compositor compositor() const = 0;
    // The XKB name of the key with a macOS virtual key code; empty when unknown.
    virtual std::string keyName(std::int32_t macKeyCode) const = 0;
};

}  // namespace platform
