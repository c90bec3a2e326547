#pragma once

#include <optional>
#include <string>
#include <vector>

// An entry of the "exceptions" setting is the path of an application: a
// bundle folder ("….app", named by its Info.plist) or a desktop entry
// ("….desktop", named after the program it starts). The pane shows this
// name and the application compares it with the frontmost process's name,
// so both take it from here.

// None when the entry cannot be read or names no program; such an entry
// never matches a process.
std::optional<std::string> exceptionEntryName(const std::string& path);

// The name the kernel gives a process started from the program `program`
// (a path or a bare file name): its file name, cut to the kernel's length.
std::string processNameOfProgram(const std::string& program);

// On Wayland the compositor names the window in front by its app id, not by
// a process. A desktop entry stands for the windows of an app id when its
// file name (less ".desktop") or its StartupWMClass is that id, letter case
// aside ("org.gnome.Nautilus", "firefox-esr" or "Gimp-2.10").
bool desktopEntryMatchesAppID(const std::string& path, const std::string& appID);

// The name of the application whose windows carry `appID`, comparable with
// `exceptionEntryName`: that of the first desktop entry in `folders` (in
// order) that stands for the app id, else the app id itself as a process name.
std::string applicationNameOfAppID(const std::string& appID, const std::vector<std::string>& folders);
