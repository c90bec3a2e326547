#include "platform/services/CompositorSession.h"

#include "platform/services/Input.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using platform::Compositor;

TEST(CompositorSessionTest, TheCompositorIsKnownFromTheSessionsVariables) {
    using Variables = std::map<std::string, std::string>;
    const std::vector<std::pair<Variables, Compositor>> cases = {
        {{{"DISPLAY", ":0"}}, Compositor::X11},
        {{{"WAYLAND_DISPLAY", ""}, {"SWAYSOCK", "/run/sway.sock"}}, Compositor::X11},
        {{{"WAYLAND_DISPLAY", "wayland-1"}, {"SWAYSOCK", "/run/sway.sock"}}, Compositor::Sway},
        {{{"WAYLAND_DISPLAY", "wayland-1"}, {"HYPRLAND_INSTANCE_SIGNATURE", "abc"}}, Compositor::Hyprland},
        {{{"WAYLAND_DISPLAY", "wayland-1"}, {"XDG_CURRENT_DESKTOP", "river"}}, Compositor::River},
        {{{"WAYLAND_DISPLAY", "wayland-1"}, {"XDG_CURRENT_DESKTOP", "wlroots:sway"}}, Compositor::Sway},
        {{{"WAYLAND_DISPLAY", "wayland-1"}, {"XDG_CURRENT_DESKTOP", "Hyprland"}}, Compositor::Hyprland},
        {{{"WAYLAND_DISPLAY", "wayland-1"}, {"XDG_CURRENT_DESKTOP", "riverside"}}, Compositor::OtherWayland},
        {{{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_CURRENT_DESKTOP", "niri"}}, Compositor::OtherWayland},
    };
    for (const auto& [variables, expected] : cases) {
        const auto read = [&variables = variables](const char* name) -> const char* {
            const auto found = variables.find(name);
            return found == variables.end() ? nullptr : found->second.c_str();
        };
        EXPECT_EQ(platform::compositorOfEnvironment(read), expected)
            << (variables.count("XDG_CURRENT_DESKTOP") ? variables.at("XDG_CURRENT_DESKTOP") : "");
    }
}

// The lines the settings show: each compositor's own syntax, modifiers in
// the order people write them, and nothing where the syntax is unknown.
TEST(CompositorSessionTest, BindAndLoginLinesFollowEachCompositorsConfiguration) {
    using platform::carbon::cmdKey, platform::carbon::controlKey, platform::carbon::optionKey,
        platform::carbon::shiftKey;
    struct Case {
        Compositor compositor;
        std::string key;
        std::int32_t modifiers;
        std::string bind;
        std::string login;
    };
    const std::vector<Case> cases = {
        {Compositor::Sway, "l", controlKey | optionKey, "bindsym Ctrl+Alt+l exec tarnwick-ctl lock",
         "exec /opt/Tarnwick"},
        {Compositor::Sway, "F12", shiftKey | cmdKey, "bindsym Shift+Mod4+F12 exec tarnwick-ctl lock",
         "exec /opt/Tarnwick"},
        {Compositor::Hyprland, "l", optionKey | controlKey, "bind = CTRL ALT, L, exec, tarnwick-ctl lock",
         "exec-once = /opt/Tarnwick"},
        {Compositor::Hyprland, "F12", 0, "bind = , F12, exec, tarnwick-ctl lock", "exec-once = /opt/Tarnwick"},
        {Compositor::River, "l", controlKey | cmdKey, "riverctl map normal Control+Super l spawn 'tarnwick-ctl lock'",
         "riverctl spawn '/opt/Tarnwick'"},
        {Compositor::OtherWayland, "l", controlKey, "", ""},
        {Compositor::X11, "l", controlKey, "", ""},
        {Compositor::Sway, "", controlKey, "", "exec /opt/Tarnwick"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::hotKeyBindLine(c.compositor, c.key, c.modifiers, "tarnwick-ctl lock"), c.bind);
        EXPECT_EQ(platform::autostartLine(c.compositor, "/opt/Tarnwick"), c.login);
    }
    // Only these start no XDG autostart entries.
    for (Compositor compositor : {Compositor::Sway, Compositor::Hyprland, Compositor::River})
        EXPECT_FALSE(platform::startsAutostartEntries(compositor));
    for (Compositor compositor : {Compositor::X11, Compositor::OtherWayland})
        EXPECT_TRUE(platform::startsAutostartEntries(compositor));
}

}  // namespace
