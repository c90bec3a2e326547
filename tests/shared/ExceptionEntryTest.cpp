#include "shared/ExceptionEntry.h"

#include "platform/foundation/FileManager.h"
#include "platform/headless/HeadlessEnvironment.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

namespace {

// A desktop entry is named after the process its program becomes, as the
// kernel names it; an entry that starts no program has no name.
TEST(ExceptionEntryTest, ADesktopEntryIsNamedAfterTheProcessOfItsProgram) {
    platform::headless::HeadlessEnvironment env;
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"[Desktop Entry]\nExec=/usr/bin/gimp-2.10 %U\n", "gimp-2.10"},
        {"[Desktop Entry]\nTryExec=/opt/fx/firefox-bin\nExec=firefox %u\n", "firefox-bin"},
        {"[Desktop Entry]\nExec=\"/opt/My App/run \\\\\"app\\\\\"\" --flag\n", "run \"app\""},
        {"[Desktop Entry]\nExec=env GDK_BACKEND=x11 LANG=C /usr/share/code/code --new-window %F\n", "code"},
        {"[Desktop Entry]\nExec=gnome-system-monitor\n", "gnome-system-mo"},
        {"# comment\n[Desktop Entry]\nName=Editor\nExec = editor\n[Desktop Action new]\nExec=other\n", "editor"},
        {"[Desktop Entry]\nName=No program\n[Desktop Action new]\nExec=other\n", std::nullopt},
        {"[Desktop Entry]\nExec=\n", std::nullopt},
        {"[Desktop Entry]\nExec=%f %U\n", std::nullopt},
        {"Exec=/usr/bin/loose\n", std::nullopt},
    };
    const std::string path = env.home() + "/entry.desktop";
    for (const auto& [text, expected] : cases) {
        std::ofstream(path, std::ios::trunc) << text;
        EXPECT_EQ(exceptionEntryName(path), expected) << text;
    }
    EXPECT_EQ(exceptionEntryName(env.home() + "/missing.desktop"), std::nullopt);
    platform::FileManager::createDirectory(env.home() + "/folder.desktop");
    EXPECT_EQ(exceptionEntryName(env.home() + "/folder.desktop"), std::nullopt);
}

// On Wayland the window in front carries an app id: the entry it stands
// for is found by file name or by StartupWMClass, letter case aside, in the
// folders' order, and names the application as the exceptions list does.
TEST(ExceptionEntryTest, AWaylandAppIDIsNamedByTheDesktopEntryThatStandsForIt) {
    platform::headless::HeadlessEnvironment env;
    const std::string user = env.home() + "/user-apps", system = env.home() + "/system-apps";
    for (const std::string& folder : {user, system}) platform::FileManager::createDirectory(folder);
    const auto write = [](const std::string& path, const std::string& text) { std::ofstream(path) << text; };
    write(system + "/org.gnome.Nautilus.desktop", "[Desktop Entry]\nExec=nautilus --new-window %U\n");
    write(system + "/firefox-esr.desktop",
          "[Desktop Entry]\nExec=/usr/lib/firefox-esr/firefox-esr %u\nStartupWMClass=Firefox-esr\n");
    write(system + "/gimp.desktop", "[Desktop Entry]\nExec=gimp-2.10 %U\nStartupWMClass=gimp-2.10\n");
    write(system + "/editor.desktop", "[Desktop Entry]\nExec=system-editor\n");
    write(user + "/editor.desktop", "[Desktop Entry]\nExec=my-editor\n");
    write(system + "/broken.desktop", "[Desktop Entry]\nName=No program\n");

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"org.gnome.Nautilus", "nautilus"},               // by file name
        {"ORG.GNOME.NAUTILUS", "nautilus"},               // letter case aside
        {"firefox-esr", "firefox-esr"},                   // both
        {"Gimp-2.10", "gimp-2.10"},                       // by StartupWMClass only
        {"editor", "my-editor"},                          // the user's entry first
        {"broken", "broken"},                             // an entry without a program: the app id itself
        {"org.example.NoEntryAtAll", "org.example.NoE"},  // cut as a process name
    };
    for (const auto& [appID, expected] : cases)
        EXPECT_EQ(applicationNameOfAppID(appID, {user, system}), expected) << appID;

    EXPECT_TRUE(desktopEntryMatchesAppID(system + "/gimp.desktop", "GIMP-2.10"));
    EXPECT_FALSE(desktopEntryMatchesAppID(system + "/gimp.desktop", "gimp-2"));
    EXPECT_FALSE(desktopEntryMatchesAppID(system + "/gimp.desktop", ""));
    EXPECT_FALSE(desktopEntryMatchesAppID(env.home() + "/missing.desktop", "anything"));
}

}  // namespace
