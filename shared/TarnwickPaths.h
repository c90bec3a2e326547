#pragma once

#include <optional>
#include <string>

// Where the pane and the application are installed, and whether the
// application is among the user's login items. Keeps nothing between calls:
// every call searches again. Main thread only, since a missing installation
// is reported by a modal alert.
class TarnwickPaths {
public:
    TarnwickPaths() = delete;

    // The first "PreferencePanes/Tarnwick.prefPane" that exists, local
    // Library folders before the user's; none (after the alert) otherwise.
    static std::optional<std::string> pathToPreferencesBundle();
    // "Tarnwick.app" inside the pane; none when the pane is not found.
    static std::optional<std::string> pathToApplication();

    // Whether the application is among the login items. The argument is not
    // consulted: the comparison is always made with a fresh pathToApplication().
    static bool shouldLaunchAtLogin(const std::optional<std::string>& path);

    // The start-at-login setting: 1 adds the application to the login items
    // (unless listed), 0 removes every entry of it, anything else does nothing.
    static void startAtLogin(int flag);
    static void addLoginItem();
    static void removeLoginItem();
};
