#include "shared/TarnwickPaths.h"

#include "platform/foundation/FileManager.h"
#include "platform/headless/HeadlessEnvironment.h"
#include "platform/services/LoginItems.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sys/stat.h>

namespace {

namespace paths = platform::paths;

class InstallPaths : public ::testing::Test {
protected:
    // Installs a pane with its application (and the executable inside it) under a Library folder.
    static std::string installPane(const std::string& library) {
        const std::string pane = paths::appendComponent(library, "PreferencePanes/Tarnwick.prefPane");
        const std::string macos = paths::appendComponent(pane, "Tarnwick.app/Contents/MacOS");
        EXPECT_TRUE(platform::FileManager::createDirectory(macos));
        std::ofstream(paths::appendComponent(macos, "Tarnwick")) << "#!/bin/sh\n";
        return pane;
    }
    static std::string userLibrary() { return paths::libraryDirectories(paths::Domain::User).front(); }
    static std::string localLibrary(std::size_t i = 0) { return paths::libraryDirectories(paths::Domain::Local).at(i); }

    std::size_t loginItemCount() const {
        const auto list = platform::LoginItems::sessionLoginItems();
        return list ? list->snapshot().size() : 0;
    }

    platform::headless::HeadlessEnvironment env;
};

TEST_F(InstallPaths, PaneForAllUsersWinsOverTheUsersOwn) {
    installPane(userLibrary());
    const std::string local = installPane(localLibrary(1));
    EXPECT_EQ(TarnwickPaths::pathToPreferencesBundle(), local);
    EXPECT_EQ(TarnwickPaths::pathToApplication(), local + "/Tarnwick.app");

    // The first local folder comes before the later ones.
    const std::string first = installPane(localLibrary(0));
    EXPECT_EQ(TarnwickPaths::pathToPreferencesBundle(), first);
    EXPECT_EQ(env.alerts().shownCount(), 0u);
}

TEST_F(InstallPaths, UserPaneIsFoundWhenNoneIsInstalledForAllUsers) {
    const std::string user = installPane(userLibrary());
    EXPECT_EQ(TarnwickPaths::pathToPreferencesBundle(), user);
}

TEST_F(InstallPaths, MissingPaneShowsTheAlertOnEveryCallAndGivesNothing) {
    EXPECT_EQ(TarnwickPaths::pathToPreferencesBundle(), std::nullopt);
    EXPECT_EQ(TarnwickPaths::pathToPreferencesBundle(), std::nullopt);
    EXPECT_EQ(TarnwickPaths::pathToApplication(), std::nullopt);
    const auto shown = env.alerts().shown();
    ASSERT_EQ(shown.size(), 3u);
    for (const auto& alert : shown) {
        EXPECT_EQ(alert.messageText, "Tarnwick has not been installed properly");
        EXPECT_EQ(alert.informativeText,
                  "The distribution consists of a file named 'Tarnwick.prefPane'.\n\n"
                  "Double-Click that file and choose an install location.");
        EXPECT_EQ(alert.buttons, (std::vector<std::string>{"Quit"}));
    }
}

TEST_F(InstallPaths, LoginItemIsAddedOnceAndQueryIgnoresItsArgument) {
    installPane(userLibrary());
    EXPECT_FALSE(TarnwickPaths::shouldLaunchAtLogin(TarnwickPaths::pathToApplication()));
    TarnwickPaths::startAtLogin(1);
    EXPECT_TRUE(TarnwickPaths::shouldLaunchAtLogin(std::string("/somewhere/else")));
    EXPECT_TRUE(TarnwickPaths::shouldLaunchAtLogin(std::nullopt));
    TarnwickPaths::startAtLogin(1);
    EXPECT_EQ(loginItemCount(), 1u);

    TarnwickPaths::startAtLogin(2);
    TarnwickPaths::startAtLogin(-1);
    EXPECT_TRUE(TarnwickPaths::shouldLaunchAtLogin(std::nullopt));

    TarnwickPaths::startAtLogin(0);
    EXPECT_FALSE(TarnwickPaths::shouldLaunchAtLogin(std::nullopt));
    EXPECT_EQ(loginItemCount(), 0u);
}

TEST_F(InstallPaths, DuplicateLoginItemsAllGoAndOthersStay) {
    const std::string pane = installPane(userLibrary());
    auto list = platform::LoginItems::sessionLoginItems();
    ASSERT_TRUE(list);
    ASSERT_TRUE(platform::FileManager::createDirectory(platform::LoginItems::autostartFolder()));
    std::ofstream(paths::appendComponent(platform::LoginItems::autostartFolder(), "other.desktop"))
        << "[Desktop Entry]\nType=Application\nName=Other\nExec=/bin/sh -c true\n";
    ASSERT_TRUE(list->insertLast(pane + "/Tarnwick.app"));
    ASSERT_TRUE(list->insertLast(pane + "/Tarnwick.app"));
    EXPECT_TRUE(TarnwickPaths::shouldLaunchAtLogin(std::nullopt));

    TarnwickPaths::startAtLogin(1);
    EXPECT_EQ(list->snapshot().size(), 3u);

    TarnwickPaths::startAtLogin(0);
    const auto left = list->snapshot();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(platform::LoginItems::resolve(left.front()), "/bin/sh");
    EXPECT_FALSE(TarnwickPaths::shouldLaunchAtLogin(std::nullopt));
}

TEST_F(InstallPaths, ApplicationWhoseProgramIsGoneIsNotListed) {
    const std::string pane = installPane(userLibrary());
    TarnwickPaths::startAtLogin(1);
    ASSERT_TRUE(TarnwickPaths::shouldLaunchAtLogin(std::nullopt));
    ASSERT_TRUE(platform::FileManager::removeItem(pane + "/Tarnwick.app/Contents/MacOS/Tarnwick"));
    EXPECT_FALSE(TarnwickPaths::shouldLaunchAtLogin(std::nullopt));
    // The unresolvable entry is skipped by removal too; adding puts a fresh one in.
    TarnwickPaths::startAtLogin(0);
    EXPECT_EQ(loginItemCount(), 1u);
    TarnwickPaths::startAtLogin(1);
    EXPECT_EQ(loginItemCount(), 2u);
}

TEST_F(InstallPaths, WithoutAnInstallationTheLoginItemIsLeftAlone) {
    TarnwickPaths::startAtLogin(1);
    EXPECT_EQ(loginItemCount(), 0u);
    EXPECT_FALSE(TarnwickPaths::shouldLaunchAtLogin(std::nullopt));
    EXPECT_GE(env.alerts().shownCount(), 2u);
}

TEST_F(InstallPaths, LoginItemsThatCannotBeListedMeanNoAndAddNothing) {
    installPane(userLibrary());
    platform::FileManager::createDirectory(paths::configDirectory());
    const std::string folder = platform::LoginItems::autostartFolder();
    std::ofstream(folder) << "in the way";
    EXPECT_FALSE(TarnwickPaths::shouldLaunchAtLogin(std::nullopt));
    TarnwickPaths::startAtLogin(1);
    TarnwickPaths::startAtLogin(0);
    EXPECT_FALSE(platform::FileManager::isDirectory(folder));
    std::ifstream in(folder);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "in the way");
}

TEST_F(InstallPaths, UnreadableLoginItemsFolderMeansNoAndNoChanges) {
    installPane(userLibrary());
    TarnwickPaths::startAtLogin(1);
    const std::string folder = platform::LoginItems::autostartFolder();
    // Something that is no folder stands where the folder was (a folder
    // without permissions would do, but stays readable to root).
    const std::string kept = folder + ".kept";
    ASSERT_EQ(std::rename(folder.c_str(), kept.c_str()), 0);
    std::ofstream(folder) << "not a folder";
    EXPECT_FALSE(platform::LoginItems::sessionLoginItems().has_value());
    EXPECT_FALSE(TarnwickPaths::shouldLaunchAtLogin(std::nullopt));
    TarnwickPaths::startAtLogin(0);
    TarnwickPaths::startAtLogin(1);
    ASSERT_EQ(std::remove(folder.c_str()), 0);
    ASSERT_EQ(std::rename(kept.c_str(), folder.c_str()), 0);
    EXPECT_EQ(loginItemCount(), 1u);
    EXPECT_TRUE(TarnwickPaths::shouldLaunchAtLogin(std::nullopt));
}

}  // namespace
