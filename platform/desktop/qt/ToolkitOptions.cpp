#include "platform/desktop/qt/ToolkitOptions.h"

#include <array>

namespace platform::desktop {

namespace {

constexpr std::array kOptionsWithValue{
    "platform", "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry", "geometry", "qwindowtitle",
    "title",    "qwindowicon",        "icon",          "session", "display",         "name",     "visual",
    "style",    "stylesheet"};
constexpr std::array kFlags{"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};
// Options that Qt also takes with their value after an equals sign.
constexpr std::array kOptionsWithInlineValue{"style=", "stylesheet=", "session=", "qmljsdebugger="};

template <std::size_t N>
bool contains(const std::array<const char*, N>& names, std::string_view name) {
    for (std::string_view candidate : names)
        if (candidate == name) return true;
    return false;
}

}  // namespace

std::optional<int> toolkitOptionValues(std::string_view argument) {
    if (argument.size() < 2 || argument[0] != '-') return std::nullopt;
    std::string_view name = argument.substr(argument[1] == '-' ? 2 : 1);
    if (contains(kOptionsWithValue, name)) return 1;
    if (contains(kFlags, name)) return 0;
    for (std::string_view prefix : kOptionsWithInlineValue)
        if (name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix) return 0;
    return std::nullopt;
}

}  // namespace platform::desktop
