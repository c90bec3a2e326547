#include "AppTestFixture.h"

#include "app/LogController.h"

#include <utility>

namespace apptest {
namespace {

using Displays = platform::headless::HeadlessDisplays;

class LockingTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        launch();
    }
    // After an abandoned lock: nothing of the lock is left behind.
    void expectAbandoned() {
        EXPECT_EQ(app->lockState(), LockState::Unlocked);
        EXPECT_TRUE(app->lockState() != LockState::SettingUp);
        EXPECT_FALSE(displays.anyCaptured());
        EXPECT_FALSE(app->lockWindow());
        EXPECT_EQ(uiMode.mode(), platform::SystemUIMode::Normal);
        EXPECT_FALSE(displays.cursorHidden());
        EXPECT_TRUE(eventNames().empty());
    }
    // A following lock, with every failure cleared, goes through.
    void expectNextLockSucceeds() {
        env.advance(1.5);  // the abandoned lock's fades end
        displays.clearFailures();
        inputSources.clearFailures();
        env.alerts().clear();
        app->lockScreen(nullptr);
        EXPECT_EQ(app->lockState(), LockState::Locked);
        EXPECT_TRUE(displays.anyCaptured());
        EXPECT_EQ(eventNames(), std::vector<std::string>{kScreenLockedEvent});
    }
    std::string writeApplicationBundle(const std::string& name, const platform::Dictionary& info) {
        const std::string bundle = env.home() + "/Applications/" + name + ".app";
        platform::FileManager::createDirectory(bundle + "/Contents", true);
        platform::FileManager::writeAtomically(bundle + "/Contents/Info.plist", platform::plist::serialize(info));
        return bundle;
    }
};

TEST_F(LockingTest, LockCapturesShieldsHidesAndDims) {
    app->lockScreen(nullptr);
    EXPECT_EQ(app->lockState(), LockState::Locked);
    EXPECT_TRUE(app->lockState() != LockState::SettingUp);
    // Main display without fill, the others with none.
    const auto all = displays.displays();
    EXPECT_EQ(displays.captured(), (std::map<platform::DisplayID, std::uint32_t>{{all[0], 1}, {all[1], 0}}));
    EXPECT_TRUE(displays.cursorHidden());
    EXPECT_EQ(uiMode.mode(), platform::SystemUIMode::AllHidden);
    EXPECT_EQ(uiMode.options(), 0x7Cu);

    FullScreenWindow* window = app->lockWindow();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->level(), platform::windowlevel::Shielding);
    EXPECT_TRUE(window->isOneShot());
    EXPECT_TRUE(window->acceptsMouseMovedEvents());
    EXPECT_FALSE(window->areCursorRectsEnabled());
    EXPECT_TRUE(window->isKeyWindow());
    EXPECT_EQ(window->firstResponder(), app.get());
    EXPECT_EQ(window->frame(), displays.screenFrames().front());
    EXPECT_EQ(imageName(), "lock.png");
    EXPECT_DOUBLE_EQ(app->lockImageView().alphaValue(), 0.3);
    EXPECT_EQ(app->dimState(), DimState::Dimmed);
    EXPECT_TRUE(app->lockPasswordField().isHidden());
    EXPECT_EQ(app->lockInfoText().stringValue(), "");
    EXPECT_EQ(app->getRetriesLeft(), 3);
    EXPECT_FALSE(app->isInputAccepted());
    EXPECT_EQ(processes.front(), processes.self());
    EXPECT_EQ(app->rememberedFrontProcess(), finder);
    EXPECT_EQ(app->getLockTime(), platform::Clock::seconds());
}

TEST_F(LockingTest, LockingTwiceLocksOncePostsOneEvent) {
    app->lockScreen(nullptr);
    app->lockScreen(nullptr);
    EXPECT_EQ(eventNames(), std::vector<std::string>{kScreenLockedEvent});
    EXPECT_EQ(uiMode.requests().size(), 1u);
}

TEST_F(LockingTest, UnlockWhileUnlockedDoesNothing) {
    app->unlockScreen();
    EXPECT_TRUE(eventNames().empty());
    EXPECT_EQ(displays.releaseAllCount(), 0);
    EXPECT_TRUE(uiMode.requests().empty());
}

TEST_F(LockingTest, LockedEventCarriesExactlyNameAndTimestamp) {
    app->lockScreen(nullptr);
    ASSERT_EQ(events.size(), 1u);
    const platform::Dictionary& info = events[0].userInfo;
    EXPECT_EQ(info.size(), 2u);
    EXPECT_EQ(info.at("eventName"), platform::Value(kScreenLockedEvent));
    EXPECT_EQ(info.at("timestamp").dateValue(), platform::Date::now());
}

TEST_F(LockingTest, LockedEventSwitchedOffIsNotPosted) {
    set(kPrefScreenLocked, false);
    app->lockScreen(nullptr);
    EXPECT_EQ(app->lockState(), LockState::Locked);
    EXPECT_TRUE(eventNames().empty());
}

// Answers an alert by first running something else on the main thread, as a
// modal alert lets timers and requests run meanwhile.
class ReentrantAlertPresenter final : public platform::AlertPresenter {
public:
    explicit ReentrantAlertPresenter(std::function<void()> meanwhile) : meanwhile_(std::move(meanwhile)) {}
    int present(const platform::Alert&) override {
        if (meanwhile_) std::exchange(meanwhile_, nullptr)();
        return 0;
    }

private:
    std::function<void()> meanwhile_;
};

TEST_F(LockingTest, RequestsWhileALockIsSetUpWaitForTheSetUp) {
    set(kPrefPassword, "");
    LockState statusMeanwhile = LockState::Unlocked;
    ReentrantAlertPresenter presenter([&] {
        // Requests slip in while the lock waits on its alert: a second lock
        // finds one under way, the unlock waits until the first is done.
        app->unlockScreen();
        app->lockScreen(nullptr);
        statusMeanwhile = app->lockState();
    });
    platform::AlertPresenter::install(&presenter);
    app->lockScreen(nullptr);
    platform::AlertPresenter::install(&env.alerts());

    EXPECT_EQ(statusMeanwhile, LockState::SettingUp);
    expectAbandoned();
    env.advance(0);
    EXPECT_TRUE(eventNames().empty()) << "the postponed unlock found nothing to unlock";
    setPassword(kPassword);
    expectNextLockSucceeds();
}

TEST_F(LockingTest, SettingsChangedDuringTheSetUpAreReadOnceItHasEnded) {
    set(kPrefPassword, "");
    std::size_t readsMeanwhile = 0;
    ReentrantAlertPresenter presenter([&] {
        for (int i = 0; i < 3; ++i) paneCenter.post(kChangeNotification, kPreferencesObject);
        env.advance(2);
        readsMeanwhile = env.logLinesContaining("Reading the changed settings").size();
    });
    platform::AlertPresenter::install(&presenter);
    app->lockScreen(nullptr);
    platform::AlertPresenter::install(&env.alerts());
    EXPECT_EQ(readsMeanwhile, 0u) << "the set-up keeps what it started with";
    env.advance(2);
    EXPECT_EQ(env.logLinesContaining("Reading the changed settings").size(), 1u);
}

TEST_F(LockingTest, AFloodOfSettingsChangesNeverStarvesTheLockScreen) {
    lockAndSettle();
    wakeLockScreen();
    for (int i = 0; i < 5000; ++i) paneCenter.post(kChangeNotification, kPreferencesObject);
    env.advance(0);
    type("a");
    EXPECT_EQ(fieldText(), "a");
    env.advance(3);
    EXPECT_LE(env.logLinesContaining("Reading the changed settings").size(), 2u);
}

TEST_F(LockingTest, UnlockRequestDuringASuccessfulSetUpUnlocksAfterwards) {
    LockState statusMeanwhile = LockState::Unlocked;
    inputSources.install("com.apple.keylayout.German");
    set(kPrefPasswordInputSource, "com.apple.keylayout.German");
    // The request arrives while the lock is still being set up (here from an
    // observer of the locked event, as a photo wait would let it run).
    platform::NotificationCenter::defaultCenter().addObserver(&statusMeanwhile, kScreenLockedEvent, {},
                                                              [&](const platform::NotificationRef&) {
                                                                  app->unlockScreen();
                                                                  statusMeanwhile = app->lockState();
                                                              });
    app->lockScreen(nullptr);
    platform::NotificationCenter::defaultCenter().removeObserver(&statusMeanwhile);
    EXPECT_EQ(statusMeanwhile, LockState::SettingUp);
    EXPECT_EQ(app->lockState(), LockState::Locked);
    EXPECT_TRUE(app->lockState() != LockState::SettingUp);
    env.advance(0);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    EXPECT_FALSE(displays.anyCaptured());
    EXPECT_FALSE(app->lockWindow());
    EXPECT_EQ(inputSources.current(), "com.apple.keylayout.US");
}

TEST_F(LockingTest, ConfigurationProblemAbandonsTheLockWithAnOkAlert) {
    set(kPrefPassword, "");
    app->lockScreen(nullptr);
    ASSERT_EQ(env.alerts().shownCount(), 1u);
    EXPECT_EQ(env.alerts().shown().front().buttons, std::vector<std::string>{"Ok"});
    expectAbandoned();
    EXPECT_TRUE(displays.fades().empty()) << "abandoned before the fade-out";
    setPassword(kPassword);
    expectNextLockSucceeds();
}

TEST_F(LockingTest, ScreenSaverPasswordConflictAbandonsTheLockWithAnOkAlert) {
    const std::string sleepConflict =
        "You have configured Tarnwick to lock this computer when the system goes to sleep. Also you have configured "
        "'Require password' in the Apple Security preference panel. You have to switch off one of these.";
    const std::string inactivityConflict =
        "You have configured Tarnwick to lock this computer after a period of inactivity. Also you have configured "
        "'Require password' in the Apple Security preference panel. You have to switch off one of these.";
    struct Case {
        int askForPassword;
        bool lockOnSleep;
        double autoActivate;
        std::string conflict;  // empty: no conflict, the lock goes through
    };
    const Case cases[] = {
        {1, true, 0.0, sleepConflict},
        {1, true, 92.0, sleepConflict},
        {1, false, 92.0, inactivityConflict},
        {1, false, 0.0, ""},
        {0, true, 92.0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("askForPassword " + std::to_string(c.askForPassword) + ", lockOnSleepComputer " +
                     std::to_string(c.lockOnSleep) + ", autoActivate " + std::to_string(c.autoActivate));
        env.alerts().clear();
        events.clear();
        writeScreenSaverSettings(platform::Dictionary{{"askForPassword", c.askForPassword}});
        set(kPrefLockOnSleepComputer, c.lockOnSleep);
        set(kPrefAutoActivate, c.autoActivate);
        paneCenter.post(kChangeNotification, kPreferencesObject);
        env.advance(1.5);
        const std::size_t panesOpened = workspace.openedFiles().size();

        app->lockScreen(nullptr);
        if (c.conflict.empty()) {
            EXPECT_EQ(env.alerts().shownCount(), 0u);
            EXPECT_EQ(app->lockState(), LockState::Locked);
            app->unlockScreen();
            env.advance(1.5);
            continue;
        }
        ASSERT_EQ(env.alerts().shownCount(), 1u);
        const platform::Alert alert = env.alerts().shown().front();
        EXPECT_EQ(alert.messageText, "Configuration error");
        EXPECT_EQ(alert.informativeText, c.conflict);
        EXPECT_EQ(alert.buttons, std::vector<std::string>{"Ok"});
        EXPECT_EQ(workspace.openedFiles().size(), panesOpened + 1) << "the pane is opened";
        expectAbandoned();
    }
}

TEST_F(LockingTest, FadeUnderWayRefusesTheLockAndSaysWhy) {
    ASSERT_TRUE(app->fadeOut(1.0f));
    app->lockScreen(nullptr);
    expectAbandoned();
    EXPECT_TRUE(env.logged("Not locking the screen: a fade is under way"));
    app->fadeIn(1.0f);
    expectNextLockSucceeds();
}

// The password's layout missing, disabled or not selectable: the lock is made
// with the layout at hand, and the keyboard is given back as it was.
TEST_F(LockingTest, AnUnusablePasswordLayoutLocksWithTheLayoutAtHand) {
    struct Case {
        const char* layout;
        std::function<void()> prepare;
        const char* logged;
    };
    const std::vector<Case> cases = {
        {"missing", [] {}, "The input source in use when setting the password is not available anymore: "},
        {"disabled", [this] { inputSources.install("com.apple.keylayout.German", false); },
         "The input source in use when setting the password is not available anymore: "},
        {"not selectable",
         [this] {
             inputSources.install("com.apple.keylayout.German");
             inputSources.failCall(platform::headless::HeadlessInputSources::Call::Select, -50);
         },
         "Failed to set the input source used when setting the password: "},
    };
    set(kPrefPasswordInputSource, "com.apple.keylayout.German");
    for (const Case& c : cases) {
        c.prepare();
        lockAndSettle();
        EXPECT_EQ(app->lockState(), LockState::Locked) << c.layout;
        EXPECT_TRUE(env.alerts().shown().empty()) << c.layout;
        EXPECT_TRUE(env.logged(std::string(c.logged) + "com.apple.keylayout.German")) << c.layout;
        wakeLockScreen();
        EXPECT_EQ(app->lockInfoText().stringValue(),
                  "Please enter your password. The password was set with the keyboard layout "
                  "com.apple.keylayout.German.")
            << c.layout;
        app->unlockScreen();
        env.advance(1.5);
        EXPECT_EQ(inputSources.current(), "com.apple.keylayout.US") << c.layout;
        inputSources.clearFailures();
    }
}

TEST_F(LockingTest, InputSourceIsSwitchedForTheLockAndRestoredAtUnlock) {
    inputSources.install("com.apple.keylayout.German");
    set(kPrefPasswordInputSource, "com.apple.keylayout.German");
    lockAndSettle();
    EXPECT_EQ(inputSources.current(), "com.apple.keylayout.German");
    EXPECT_EQ(app->rememberedInputSource(), std::optional<std::string>("com.apple.keylayout.US"));
    app->unlockScreen();
    EXPECT_EQ(inputSources.current(), "com.apple.keylayout.US");
}

TEST_F(LockingTest, NoStoredInputSourceLeavesTheKeyboardAlone) {
    lockAndSettle();
    app->unlockScreen();
    EXPECT_TRUE(inputSources.selections().empty());
    EXPECT_FALSE(app->rememberedInputSource());
}

TEST_F(LockingTest, DisplayListFailureReleasesAndAbandons) {
    displays.failCall(platform::headless::HeadlessDisplays::Call::OnlineDisplays, 1000);
    app->lockScreen(nullptr);
    EXPECT_TRUE(env.logged("CGDisplayCaptureWithOptions() failed: 1004"));
    EXPECT_EQ(displays.releaseAllCount(), 1);
    expectAbandoned();
    expectNextLockSucceeds();
}

TEST_F(LockingTest, CaptureFailureReleasesEarlierCapturesAndAbandons) {
    inputSources.install("com.apple.keylayout.German");
    set(kPrefPasswordInputSource, "com.apple.keylayout.German");
    displays.failCaptureOf(displays.displays()[1], 1003);
    app->lockScreen(nullptr);
    EXPECT_TRUE(env.logged("CGDisplayCaptureWithOptions() failed: 1004"));
    EXPECT_EQ(displays.releaseAllCount(), 1);
    expectAbandoned();
    EXPECT_EQ(inputSources.current(), "com.apple.keylayout.US") << "the keyboard is given back";
    expectNextLockSucceeds();
}

TEST_F(LockingTest, ReleaseFailureAfterCaptureFailureIsLogged) {
    displays.failCall(platform::headless::HeadlessDisplays::Call::Capture, 1001);
    displays.failCall(platform::headless::HeadlessDisplays::Call::ReleaseAll, 1002);
    app->lockScreen(nullptr);
    EXPECT_TRUE(env.logged("Error releasing displays: 1002"));
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    EXPECT_TRUE(app->lockState() != LockState::SettingUp);
    expectNextLockSucceeds();
}

TEST_F(LockingTest, CursorAndInterfaceModeFailuresAreLoggedAndIgnored) {
    displays.failCall(platform::headless::HeadlessDisplays::Call::HideCursor, 7);
    lockAndSettle();
    EXPECT_TRUE(env.logged("Failed to hide mouse cursor: 7"));
    EXPECT_EQ(app->lockState(), LockState::Locked);

    displays.failCall(platform::headless::HeadlessDisplays::Call::ShowCursor, 8);
    displays.failCall(platform::headless::HeadlessDisplays::Call::ReleaseAll, 9);
    uiMode.failCall(platform::headless::HeadlessSystemUIMode::Call::Set, -50);
    app->unlockScreen();
    EXPECT_TRUE(env.logged("Error reenabling mouse cursor: 8"));
    EXPECT_TRUE(env.logged("Error releasing displays: 9"));
    EXPECT_TRUE(
        env.logged("Error setting UI model to normal: headlessError-50; "
                   "the headless interface mode refused the change (-50) (-50)"));
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    EXPECT_FALSE(app->lockWindow());
}

TEST_F(LockingTest, LockHotKeyIsUnregisteredWhileLocked) {
    set(kPrefLockScreenHotKeyCode, 37);
    set(kPrefLockScreenHotKeyModifiers, 0x100);
    paneCenter.post(kChangeNotification, kPreferencesObject);
    env.advance(0);
    ASSERT_TRUE(hotKeys.registeredWithIdentifier(kLockScreenHotKey));
    lockAndSettle();
    EXPECT_FALSE(hotKeys.registeredWithIdentifier(kLockScreenHotKey));
    app->unlockScreen();
    EXPECT_TRUE(hotKeys.registeredWithIdentifier(kLockScreenHotKey));
}

TEST_F(LockingTest, LockEmptiesThePhotoCache) {
    const std::string folder = platform::paths::appendComponent(platform::paths::cachesDirectory(), kBundleName);
    platform::FileManager::writeAtomically(folder + "/20100102030405006.tiff", platform::Data{1, 2, 3});
    platform::FileManager::createDirectory(folder + "/old", true);
    app->lockScreen(nullptr);
    EXPECT_TRUE(platform::FileManager::contentsOfDirectory(folder).empty());
}

TEST_F(LockingTest, PhotosSavedOnPurposeInTheCachesFolderSurviveTheNextLock) {
    // The default photo folder is the caches folder, written with a tilde or not.
    const std::string folder = platform::paths::appendComponent(platform::paths::cachesDirectory(), kBundleName);
    platform::FileManager::writeAtomically(folder + "/20100102030405006.tiff", platform::Data{1, 2, 3});
    set(kPrefSaveImagesImmediately, true);
    for (const std::string& stored : {folder, platform::paths::abbreviateWithTilde(folder)}) {
        set(kPrefSaveImagesPath, stored);
        app->lockScreen(nullptr);
        app->unlockScreen();
        env.advance(2);
        EXPECT_EQ(platform::FileManager::contentsOfDirectory(folder).size(), 1u) << stored;
    }
}

TEST_F(LockingTest, DockIconOnlyWhileLockedWhenShowInDockIsOff) {
    set(kPrefShowInDock, false);
    processes.transformCurrentProcess(platform::Processes::ProcessType::UIElement);
    lockAndSettle();
    EXPECT_EQ(processes.currentProcessType(), platform::Processes::ProcessType::Foreground);
    app->unlockScreen();
    EXPECT_EQ(processes.currentProcessType(), platform::Processes::ProcessType::UIElement);
}

TEST_F(LockingTest, OlderSystemsKeepTheirProcessType) {
    processes.setSystemVersion(0x1068);
    app.reset();
    set(kPrefShowInDock, false);
    launch();
    processes.transformCurrentProcess(platform::Processes::ProcessType::UIElement);
    lockAndSettle();
    EXPECT_EQ(processes.currentProcessType(), platform::Processes::ProcessType::UIElement);
}

TEST_F(LockingTest, ResigningActiveWhileLockedBringsTheLockWindowBack) {
    lockAndSettle();
    processes.bringToFront(finder);
    platform::Application::shared().resignActive();
    EXPECT_TRUE(platform::Application::shared().isActive());
    EXPECT_TRUE(app->lockWindow()->isKeyWindow());
    EXPECT_EQ(app->lockWindow()->firstResponder(), &app->lockPasswordField());

    // The field keeps the focus and its keys still take the controller's path.
    wakeLockScreen();
    enter(kPassword);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
}

TEST_F(LockingTest, ResigningActiveWhileUnlockedChangesNothing) {
    platform::Application::shared().resignActive();
    EXPECT_FALSE(platform::Application::shared().isActive());
}

class ExceptionsTest : public LockingTest {};

TEST_F(ExceptionsTest, FrontmostExceptionByDisplayNameSkipsTheLock) {
    const std::string first = writeApplicationBundle("Mail", {{"CFBundleDisplayName", "Mail"}});
    const std::string second =
        writeApplicationBundle("Keynote", {{"CFBundleDisplayName", "Keynote"}, {"CFBundleExecutable", "KeynoteX"}});
    const std::string third = writeApplicationBundle("Safari", {{"CFBundleDisplayName", "Safari"}});
    set(kPrefExceptions, platform::Array{first, second, third});
    processes.bringToFront(processes.launch("Keynote"));
    app->checkAndLockScreen(nullptr);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    EXPECT_EQ(env.logLinesContaining("Comparing").size(), 2u) << "one line per entry up to the match";
    EXPECT_TRUE(env.logged("Comparing Keynote <-> Mail"));
    EXPECT_TRUE(env.logged("Not locking computer. Keynote is currently the frontmost application."));
}

TEST_F(ExceptionsTest, ExecutableNameServesWithoutDisplayName) {
    set(kPrefExceptions, platform::Array{writeApplicationBundle("Xcode", {{"CFBundleExecutable", "Xcode"}})});
    processes.bringToFront(processes.launch("Xcode"));
    app->checkAndLockScreen(nullptr);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
}

TEST_F(ExceptionsTest, NamesCompareCaseSensitivelyAndUnreadableEntriesMatchNothing) {
    set(kPrefExceptions, platform::Array{env.home() + "/Applications/Gone.app",
                                         writeApplicationBundle("Xcode", {{"CFBundleExecutable", "xcode"}})});
    processes.bringToFront(processes.launch("Xcode"));
    app->checkAndLockScreen(nullptr);
    EXPECT_EQ(app->lockState(), LockState::Locked);
    EXPECT_EQ(env.logLinesContaining("Comparing").size(), 2u);
    EXPECT_TRUE(env.logged("Comparing Xcode <-> (null)"));
}

TEST_F(ExceptionsTest, NoExceptionsLockAtOnce) {
    app->checkAndLockScreen(nullptr);
    EXPECT_EQ(app->lockState(), LockState::Locked);
    EXPECT_TRUE(env.logLinesContaining("Comparing").empty());
}

class UnlockLogTest : public LockingTest {
protected:
    void lockAndUnlockWithWrongAttempts(int wrongAttempts) {
        lockAndSettle();
        wakeLockScreen();
        for (int i = 0; i < wrongAttempts; ++i) enter("wrong");
        processes.bringToFront(processes.self());
        enter(kPassword);
        ASSERT_EQ(app->lockState(), LockState::Unlocked);
    }
};

TEST_F(UnlockLogTest, OnlyLockAndUnlockEntriesBringBackThePreviousApplication) {
    ASSERT_NE(app->logWindowController(), nullptr);
    lockAndUnlockWithWrongAttempts(0);
    ASSERT_EQ(app->logWindowController()->logEntryCount(), 2u) << "locked and unlocked, nothing else";
    EXPECT_EQ(processes.front(), finder);
    env.advance(2.0);
    EXPECT_FALSE(app->logWindowController()->window().isVisible());
}

TEST_F(UnlockLogTest, AWrongPasswordEntryOpensTheLogOneSecondLater) {
    lockAndUnlockWithWrongAttempts(1);
    ASSERT_EQ(app->logWindowController()->logEntryCount(), 3u) << "locked, one wrong password, unlocked";
    EXPECT_EQ(processes.front(), processes.self());
    env.advance(0.9);
    EXPECT_FALSE(app->logWindowController()->window().isVisible());
    env.advance(0.2);
    EXPECT_TRUE(app->logWindowController()->window().isVisible());
}

TEST_F(UnlockLogTest, ShowLogOnUnlockOffDoesNeither) {
    set(kPrefShowLogOnUnlock, false);
    lockAndUnlockWithWrongAttempts(1);
    env.advance(2.0);
    EXPECT_FALSE(app->logWindowController()->window().isVisible());
    EXPECT_EQ(processes.front(), processes.self());
}

TEST_F(UnlockLogTest, WithoutTheFailedUnlockConditionTheLogAlwaysOpens) {
    set(kPrefShowLogOnUnlockAfterFailedUnlock, false);
    lockAndUnlockWithWrongAttempts(0);
    env.advance(1.1);
    EXPECT_TRUE(app->logWindowController()->window().isVisible());
}

}  // namespace
}  // namespace apptest
