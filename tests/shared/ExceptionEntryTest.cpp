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

}  // namespace
