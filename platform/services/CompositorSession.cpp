#include "platform/services/CompositorSession.h"

#include "platform/services/Input.h"

#include <sstream>
#include <vector>

namespace platform {

namespace {

bool isSet(const char* value) { return value && *value; }

bool desktopListNames(const char* list, const std::string& name) {
    if (!isSet(list)) return false;
    std::stringstream entries(list);
    for (std::string entry; std::getline(entries, entry, ':');)
        if (entry == name) return true;
    return false;
}

struct ModifierName {
    std::int32_t carbon;
    const char* sway;
    const char* hyprland;
    const char* river;
};

// In the order that people write them.
constexpr ModifierName kModifierNames[] = {
    {carbon::controlKey, "Ctrl", "CTRL", "Control"},
    {carbon::optionKey, "Alt", "ALT", "Alt"},
    {carbon::shiftKey, "Shift", "SHIFT", "Shift"},
    {carbon::cmdKey, "Mod4", "SUPER", "Super"},
};

std::vector<std::string> modifierWords(std::int32_t carbonModifiers, const char* ModifierName::*name) {
    std::vector<std::string> words;
    for (const ModifierName& modifier : kModifierNames)
        if (carbonModifiers & modifier.carbon) words.emplace_back(modifier.*name);
    return words;
}

std::string joined(const std::vector<std::string>& words, const std::string& separator) {
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : separator) + word;
    return text;
}

// Sway and river take the key as its XKB name; Hyprland writes letters in
// capitals.
std::string upperLetters(std::string name) {
    if (name.size() == 1 && name[0] >= 'a' && name[0] <= 'z') name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return name;
}

}  // namespace

Compositor compositorOfEnvironment(const std::function<const char*(const char*)>& variable) {
    if (!isSet(variable("WAYLAND_DISPLAY"))) return Compositor::X11;
    if (isSet(variable("SWAYSOCK"))) return Compositor::Sway;
    if (isSet(variable("HYPRLAND_INSTANCE_SIGNATURE"))) return Compositor::Hyprland;
    const char* desktops = variable("XDG_CURRENT_DESKTOP");
    if (desktopListNames(desktops, "sway")) return Compositor::Sway;
    if (desktopListNames(desktops, "Hyprland")) return Compositor::Hyprland;
    if (desktopListNames(desktops, "river")) return Compositor::River;
    return Compositor::OtherWayland;
}

bool startsAutostartEntries(Compositor compositor) {
    switch (compositor) {
        case Compositor::Sway:
        case Compositor::Hyprland:
        case Compositor::River: return false;
        case Compositor::X11:
        case Compositor::OtherWayland: return true;
    }
    return true;
}

std::string hotKeyBindLine(Compositor compositor, const std::string& keyName, std::int32_t carbonModifiers,
                           const std::string& command) {
    if (keyName.empty()) return {};
    switch (compositor) {
        case Compositor::Sway: {
            std::vector<std::string> keys = modifierWords(carbonModifiers, &ModifierName::sway);
            keys.push_back(keyName);
            return "bindsym " + joined(keys, "+") + " exec " + command;
        }
        case Compositor::Hyprland:
            return "bind = " + joined(modifierWords(carbonModifiers, &ModifierName::hyprland), " ") + ", " +
                   upperLetters(keyName) + ", exec, " + command;
        case Compositor::River: {
            const std::vector<std::string> modifiers = modifierWords(carbonModifiers, &ModifierName::river);
            return "riverctl map normal " + (modifiers.empty() ? std::string("None") : joined(modifiers, "+")) + " " +
                   keyName + " spawn '" + command + "'";
        }
        case Compositor::X11:
        case Compositor::OtherWayland: return {};
    }
    return {};
}

std::string autostartLine(Compositor compositor, const std::string& command) {
    switch (compositor) {
        case Compositor::Sway: return "exec " + command;
        case Compositor::Hyprland: return "exec-once = " + command;
        case Compositor::River: return "riverctl spawn '" + command + "'";
        case Compositor::X11:
        case Compositor::OtherWayland: return {};
    }
    return {};
}

}  // namespace platform
