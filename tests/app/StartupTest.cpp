#include "AppTestFixture.h"

#include "app/LogController.h"

#include <algorithm>

namespace apptest {
namespace {

class StartupTest : public AppTest {
protected:
    std::size_t alertsTitled(const std::string& message) {
        const auto shown = env.alerts().shown();
        return static_cast<std::size_t>(std::count_if(
            shown.begin(), shown.end(), [&](const platform::Alert& a) { return a.messageText == message; }));
    }
    void expectStoppedAfterAlert() {
        EXPECT_TRUE(platform::Application::shared().isTerminated());
        EXPECT_EQ(workspace.openedFiles(), std::vector<std::string>{paneBundlePath()});
        EXPECT_EQ(paneSaw, std::vector<std::string>{kStopNotification});
    }
};

TEST_F(StartupTest, ConfiguredApplicationAnnouncesItselfAndRegistersEverything) {
    launch();
    EXPECT_FALSE(platform::Application::shared().isTerminated());
    EXPECT_EQ(paneSaw, std::vector<std::string>{kStartNotification});
    EXPECT_EQ(tarnwick, app.get());
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    EXPECT_EQ(app->dimState(), DimState::Active);
    EXPECT_EQ(app->fadeState(), FadeState::Idle);
    EXPECT_TRUE(app->isInputAccepted());
    EXPECT_TRUE(tap.isCreated());
    EXPECT_TRUE(bus.isRegistered(kBundleName));
    EXPECT_EQ(workspace.sleepObserverCount(), 1u);
    EXPECT_TRUE(platform::FileManager::isDirectory(
        platform::paths::appendComponent(platform::paths::cachesDirectory(), kBundleName)));
    EXPECT_EQ(processes.currentProcessType(), platform::Processes::ProcessType::Foreground)
        << "showInDock is YES by default";
    EXPECT_EQ(env.alerts().shownCount(), 0u);
}

TEST_F(StartupTest, ShowInDockOffKeepsTheApplicationAnElement) {
    set(kPrefShowInDock, false);
    launch();
    EXPECT_EQ(processes.currentProcessType(), platform::Processes::ProcessType::UIElement);
}

TEST_F(StartupTest, EmptyPasswordShowsTheQuitAlertOpensThePaneAndEnds) {
    set(kPrefPassword, "");
    launch();
    ASSERT_EQ(env.alerts().shownCount(), 1u);
    const platform::Alert alert = env.alerts().shown().front();
    EXPECT_EQ(alert.messageText, "Tarnwick has not been configured yet");
    EXPECT_EQ(alert.informativeText,
              "At least you need to set a password. Then start the application by clicking on the 'Start' button in "
              "the upper left.");
    EXPECT_EQ(alert.buttons, std::vector<std::string>{"Quit"});
    expectStoppedAfterAlert();
    EXPECT_FALSE(bus.isRegistered(kBundleName)) << "the connection is invalidated at termination";
}

TEST_F(StartupTest, AStoredPasswordNoTypedTextCanMatchCountsAsNotConfigured) {
    launch();
    const std::string digest = digestOf(kPassword);
    const platform::Value unusable[] = {42, digest + "\n", digest.substr(0, 31), "z" + digest.substr(1), "secret"};
    for (const platform::Value& stored : unusable) {
        env.alerts().clear();
        set(kPrefPassword, stored);
        EXPECT_FALSE(app->setupCheck(false)) << "no lock anyone could open";
        ASSERT_EQ(env.alerts().shownCount(), 1u);
        EXPECT_EQ(env.alerts().shown().front().messageText, "Tarnwick has not been configured yet");
    }
    EXPECT_TRUE(env.logged("The stored password cannot be used"));
}

TEST_F(StartupTest, MissingPaneEndsTheLaunchWithoutOpeningAnything) {
    removePane();
    launch();
    EXPECT_TRUE(platform::Application::shared().isTerminated());
    EXPECT_TRUE(workspace.openedFiles().empty());
    EXPECT_EQ(paneSaw, std::vector<std::string>{kStopNotification});
}

TEST_F(StartupTest, ScreenSaverPasswordConflictsWithLockOnSleep) {
    writeScreenSaverSettings(platform::Dictionary{{"askForPassword", 1}});
    launch();
    ASSERT_EQ(env.alerts().shownCount(), 1u);
    const platform::Alert alert = env.alerts().shown().front();
    EXPECT_EQ(alert.messageText, "Configuration error");
    EXPECT_EQ(alert.informativeText,
              "You have configured Tarnwick to lock this computer when the system goes to sleep. Also you have "
              "configured 'Require password' in the Apple Security preference panel. You have to switch off one of "
              "these.");
    EXPECT_EQ(alert.buttons, std::vector<std::string>{"Quit"});
    expectStoppedAfterAlert();
}

TEST_F(StartupTest, ScreenSaverPasswordConflictsWithAutomaticLocking) {
    writeScreenSaverSettings(platform::Dictionary{{"askForPassword", 1}});
    set(kPrefLockOnSleepComputer, false);
    set(kPrefAutoActivate, 92.0);
    launch();
    ASSERT_EQ(env.alerts().shownCount(), 1u);
    EXPECT_EQ(env.alerts().shown().front().informativeText,
              "You have configured Tarnwick to lock this computer after a period of inactivity. Also you have "
              "configured 'Require password' in the Apple Security preference panel. You have to switch off one of "
              "these.");
    expectStoppedAfterAlert();
}

TEST_F(StartupTest, ScreenSaverPasswordWithoutConflictOrSwitchedOffIsFine) {
    writeScreenSaverSettings(platform::Dictionary{{"askForPassword", 1}});
    set(kPrefLockOnSleepComputer, false);
    launch();
    EXPECT_EQ(env.alerts().shownCount(), 0u);
    EXPECT_EQ(paneSaw, std::vector<std::string>{kStartNotification});

    writeScreenSaverSettings(platform::Dictionary{{"askForPassword", 0}});
    set(kPrefLockOnSleepComputer, true);
    EXPECT_TRUE(app->setupCheck(false));
}

TEST_F(StartupTest, MissingOrUnreadableScreenSaverSettingsLetTheLaunchProceed) {
    const std::string folder = env.home() + "/Library/Preferences";
    platform::FileManager::createDirectory(folder, true);
    platform::FileManager::writeAtomically(folder + "/com.apple.screensaver.plist", platform::Data{'n', 'o', 'p', 'e'});
    launch();
    EXPECT_EQ(env.alerts().shownCount(), 0u);
    EXPECT_EQ(paneSaw, std::vector<std::string>{kStartNotification});
}

TEST_F(StartupTest, CheckBeforeALockOffersOk) {
    launch();
    set(kPrefPassword, "");
    EXPECT_FALSE(app->setupCheck(false));
    ASSERT_EQ(env.alerts().shownCount(), 1u);
    EXPECT_EQ(env.alerts().shown().front().buttons, std::vector<std::string>{"Ok"});
}

TEST_F(StartupTest, LockOnStartupLocksRightAfterTheStartNotification) {
    set(kPrefLockOnStartup, true);
    std::vector<std::string> order;
    paneCenter.addObserver(&order, kStartNotification, kBundleName,
                           [&](const std::string& name, const std::string&) { order.push_back(name); });
    platform::NotificationCenter::defaultCenter().addObserver(&order, kScreenLockedEvent, {},
                                                              [&](const platform::NotificationRef& n) {
                                                                  env.advance(0);  // the bus delivers first
                                                                  order.push_back(n->name());
                                                              });
    launch();
    EXPECT_EQ(app->lockState(), LockState::Locked);
    EXPECT_EQ(order, (std::vector<std::string>{kStartNotification, kScreenLockedEvent}));
    paneCenter.removeObserver(&order);
    platform::NotificationCenter::defaultCenter().removeObserver(&order);
}

TEST_F(StartupTest, StatusItemFollowsShowInMenu) {
    launch();
    ASSERT_TRUE(app->menuBarItem());
    const platform::StatusItemRef first = app->menuBarItem();
    EXPECT_EQ(first->length(), platform::StatusBar::SquareLength);
    EXPECT_EQ(first->toolTip(), "Tarnwick - Secure your Mac");
    EXPECT_TRUE(first->highlightMode());
    ASSERT_TRUE(first->image());
    EXPECT_EQ(first->image()->name(), "hand 18x18.png");
    EXPECT_EQ(first->menu(), app->menu());

    paneCenter.post(kChangeNotification, kPreferencesObject);
    env.advance(1);
    EXPECT_EQ(app->menuBarItem(), first) << "a second change keeps the item";

    set(kPrefShowInMenu, false);
    paneCenter.post(kChangeNotification, kPreferencesObject);
    env.advance(1);
    EXPECT_FALSE(app->menuBarItem());
    EXPECT_TRUE(platform::StatusBar::system().items().empty());

    set(kPrefShowInMenu, true);
    paneCenter.post(kChangeNotification, kPreferencesObject);
    env.advance(1);
    ASSERT_TRUE(app->menuBarItem());
    EXPECT_NE(app->menuBarItem(), first);
    EXPECT_EQ(platform::StatusBar::system().items().size(), 1u);
}

TEST_F(StartupTest, StatusMenuOffersTheFiveCommands) {
    launch();
    std::vector<std::string> titles;
    for (const auto& item : app->menu()->items())
        if (!item.isSeparator()) titles.push_back(item.title);
    EXPECT_EQ(titles, (std::vector<std::string>{"Lock", "Show log", "Preferences\u2026", "About", "Quit"}));

    ASSERT_TRUE(app->menu()->performActionForItem("Preferences\u2026"));
    EXPECT_EQ(workspace.openedFiles(), std::vector<std::string>{paneBundlePath()});
    ASSERT_TRUE(app->menu()->performActionForItem("Lock"));
    EXPECT_EQ(app->lockState(), LockState::Locked);
}

TEST_F(StartupTest, HotKeysAreRegisteredReplacedAndLeftOutForMinusOne) {
    set(kPrefLockScreenHotKeyCode, 37);
    set(kPrefLockScreenHotKeyModifiers, 0x100 | 0x800);
    set(kPrefShowLogHotKeyCode, -1);
    launch();
    ASSERT_TRUE(app->lockHotKey());
    EXPECT_EQ(app->lockHotKey()->identifier(), kLockScreenHotKey);
    EXPECT_EQ(app->lockHotKey()->keyCombo(), (platform::KeyCombo{37, 0x900}));
    EXPECT_FALSE(app->showLogHotKey());
    EXPECT_EQ(hotKeys.registered().size(), 1u);

    set(kPrefLockScreenHotKeyCode, 40);
    set(kPrefShowLogHotKeyCode, 38);
    set(kPrefShowLogHotKeyModifiers, 0x1000);
    paneCenter.post(kChangeNotification, kPreferencesObject);
    env.advance(0);
    ASSERT_EQ(hotKeys.registered().size(), 2u);
    EXPECT_EQ(hotKeys.registeredWithIdentifier(kLockScreenHotKey)->keyCombo(), (platform::KeyCombo{40, 0x900}));
    EXPECT_EQ(hotKeys.registeredWithIdentifier(kShowLogHotKey)->keyCombo(), (platform::KeyCombo{38, 0x1000}));
    EXPECT_FALSE(hotKeys.press({37, 0x900})) << "the old combination is gone";

    EXPECT_TRUE(hotKeys.press({40, 0x900}));
    EXPECT_EQ(app->lockState(), LockState::Locked);
}

TEST_F(StartupTest, AbsentHotKeyCodesRegisterCodeZeroWithoutModifiers) {
    set(kPrefShowLogHotKeyCode, 0);
    launch();
    ASSERT_TRUE(app->lockHotKey());
    ASSERT_TRUE(app->showLogHotKey());
    EXPECT_EQ(app->lockHotKey()->keyCombo(), (platform::KeyCombo{0, 0}));
    EXPECT_EQ(app->showLogHotKey()->keyCombo(), (platform::KeyCombo{0, 0}));
    // The centre may refuse both, but only a stored one was somebody's choice.
    EXPECT_EQ(app->lockHotKey()->origin(), platform::HotKey::Origin::NeverStored);
    EXPECT_EQ(app->showLogHotKey()->origin(), platform::HotKey::Origin::Chosen);
}

TEST_F(StartupTest, ShowLogHotKeyTogglesTheLogWindow) {
    set(kPrefShowLogHotKeyCode, 38);
    set(kPrefShowLogHotKeyModifiers, 0x100);
    set(kPrefLockScreenHotKeyCode, -1);
    launch();
    platform::Window& window = app->logWindowController()->window();
    ASSERT_TRUE(hotKeys.press({38, 0x100}));
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isKeyWindow());
    EXPECT_EQ(app->rememberedFrontProcess(), finder) << "a sender makes it remember the frontmost application";
    ASSERT_TRUE(hotKeys.press({38, 0x100}));
    EXPECT_FALSE(window.isVisible());
}

TEST_F(StartupTest, ChangeNotificationFromAnotherObjectIsIgnored) {
    set(kPrefShowInMenu, false);
    launch();
    set(kPrefShowInMenu, true);
    paneCenter.post(kChangeNotification, "com.example.SomethingElse");
    env.advance(0);
    EXPECT_FALSE(app->menuBarItem());
    paneCenter.post(kChangeNotification, kPreferencesObject);
    env.advance(0);
    EXPECT_TRUE(app->menuBarItem());
}

TEST_F(StartupTest, ChangedSettingsReachTheCachedValues) {
    launch();
    set(kPrefAutoActivate, 92.0);
    paneCenter.post(kChangeNotification, kPreferencesObject);
    env.advance(0);
    EXPECT_EQ(::autoActivateMinutes, 15);
}

TEST_F(StartupTest, QuitOverTheConnectionIsRefusedWhileLockedAndAcceptedAfterwards) {
    launch();
    lockAndSettle();
    ASSERT_EQ(app->lockState(), LockState::Locked);

    auto remote = connections.lookup(kBundleName);
    ASSERT_TRUE(remote);
    remote->quit();
    env.advance(0);
    EXPECT_FALSE(platform::Application::shared().isTerminated());
    EXPECT_EQ(paneSaw, std::vector<std::string>{kStartNotification});

    app->unlockScreen();
    remote->quit();
    env.advance(0);
    EXPECT_TRUE(platform::Application::shared().isTerminated());
    EXPECT_EQ(paneSaw, (std::vector<std::string>{kStartNotification, kStopNotification}));
    EXPECT_FALSE(app->connection()->isValid());
    EXPECT_FALSE(connections.lookup(kBundleName)) << "the name is gone with the connection";
    EXPECT_THROW(remote->quit(), std::runtime_error);
}

TEST_F(StartupTest, EventTapFailureIsLoggedAndTheApplicationRunsWithoutIt) {
    tap.setCreationFails(true);
    launch();
    EXPECT_TRUE(env.logged("Error creating event trap"));
    EXPECT_FALSE(tap.isCreated());
    EXPECT_EQ(paneSaw, std::vector<std::string>{kStartNotification});
}

TEST_F(StartupTest, FailedNameRegistrationIsIgnored) {
    bus.setRegistrationFails(true);
    launch();
    EXPECT_FALSE(bus.isRegistered(kBundleName));
    EXPECT_EQ(paneSaw, std::vector<std::string>{kStartNotification});
}

}  // namespace
}  // namespace apptest
