#include "AppTestFixture.h"

namespace apptest {
namespace {

// Whole lock cycles on the manual clock, from the first lock to the last
// platform effect undone.
class LockCycleTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        inputSources.install("com.apple.keylayout.German");
        set(kPrefPasswordInputSource, "com.apple.keylayout.German");
        set(kPrefLockScreenHotKeyCode, 37);
        set(kPrefLockScreenHotKeyModifiers, 0x100);
        set(kPrefShowInDock, false);
        launch();
        processes.transformCurrentProcess(platform::Processes::ProcessType::UIElement);
    }

    void expectEverythingUndone() {
        EXPECT_EQ(app->lockState(), LockState::Unlocked);
        EXPECT_FALSE(displays.anyCaptured());
        EXPECT_FALSE(displays.cursorHidden());
        EXPECT_EQ(uiMode.mode(), platform::SystemUIMode::Normal);
        EXPECT_EQ(uiMode.options(), 0u);
        EXPECT_EQ(inputSources.current(), "com.apple.keylayout.US");
        EXPECT_FALSE(app->lockWindow());
        EXPECT_TRUE(hotKeys.registeredWithIdentifier(kLockScreenHotKey));
        EXPECT_EQ(processes.currentProcessType(), platform::Processes::ProcessType::UIElement);
        EXPECT_FALSE(app->timer(LockTimer::Dim));
        EXPECT_FALSE(app->timer(LockTimer::InputLimit));
        EXPECT_FALSE(app->timer(LockTimer::Penalty));
        env.advance(1.0);  // out to white and back in, half a second each
        EXPECT_EQ(app->fadeState(), FadeState::Idle);
        EXPECT_FALSE(displays.reservationHeld());
        EXPECT_DOUBLE_EQ(displays.currentBlend(), 0.0);
        EXPECT_TRUE(app->lockState() != LockState::SettingUp);
    }
};

TEST_F(LockCycleTest, ThreeWrongPasswordsPenaltyThenTheRightOneUnlocks) {
    app->menu()->performActionForItem("Lock");
    ASSERT_EQ(app->lockState(), LockState::Locked);
    EXPECT_EQ(inputSources.current(), "com.apple.keylayout.German");
    EXPECT_FALSE(hotKeys.registeredWithIdentifier(kLockScreenHotKey));
    EXPECT_EQ(processes.currentProcessType(), platform::Processes::ProcessType::Foreground);
    env.advance(1.0);
    ASSERT_TRUE(app->isInputAccepted());

    env.advance(1.0);
    type("w");  // wakes the dimmed screen and is typed
    env.advance(0.2);
    ASSERT_EQ(app->dimState(), DimState::Active);
    type("rong");
    press(platform::keycode::Return, "\r");
    env.advance(1);
    enter("wrong2");
    env.advance(1);
    enter("wrong3");
    ASSERT_EQ(app->getRetriesLeft(), 0);
    EXPECT_TRUE(app->lockPasswordField().isHidden());

    env.advance(65);
    EXPECT_TRUE(app->lockPasswordField().isHidden());
    env.advance(1);
    ASSERT_FALSE(app->lockPasswordField().isHidden());
    EXPECT_EQ(app->getRetriesLeft(), 3);

    enter(kPassword);
    EXPECT_EQ(eventNames(), (std::vector<std::string>{kScreenLockedEvent, kWrongPasswordEvent, kWrongPasswordEvent,
                                                      kThreeWrongPasswordEvent, kScreenUnlockedEvent}));
    EXPECT_EQ(events[1].userInfo.at("password"), platform::Value("wrong"));
    EXPECT_EQ(events[2].userInfo.at("password"), platform::Value("wrong2"));
    EXPECT_EQ(events[3].userInfo.at("password"), platform::Value("wrong3"));
    for (std::size_t i = 1; i < events.size(); ++i)
        EXPECT_LT(events[i - 1].userInfo.at("timestamp").dateValue(), events[i].userInfo.at("timestamp").dateValue());
    expectEverythingUndone();
}

TEST_F(LockCycleTest, EveryStateFromUnlockedToDimmedAndBackByPassword) {
    set(kPrefDimScreen, 1);
    // Unlocked → locking: white, captured, input refused.
    app->lockScreen(nullptr);
    EXPECT_EQ(app->lockState(), LockState::Locked);
    EXPECT_EQ(app->fadeState(), FadeState::FadingOut);
    EXPECT_DOUBLE_EQ(displays.currentBlend(), 1.0);
    EXPECT_FALSE(app->isInputAccepted());
    env.advance(0.5);
    EXPECT_EQ(app->fadeState(), FadeState::FadingIn) << "the white screen's 0.1 s is over by then";
    // → locked and dimmed.
    env.advance(0.5);
    EXPECT_EQ(app->dimState(), DimState::Dimmed);
    EXPECT_EQ(app->fadeState(), FadeState::Idle);
    EXPECT_TRUE(app->isInputAccepted());
    // → first input: active.
    wakeLockScreen();
    EXPECT_EQ(app->dimState(), DimState::Active);
    EXPECT_FALSE(app->lockPasswordField().isHidden());
    // → no input for "dimScreen" minutes: dimmed again.
    env.advance(60);
    EXPECT_EQ(app->dimState(), DimState::Dimmed);
    EXPECT_TRUE(app->lockPasswordField().isHidden());
    env.advance(1.0);
    EXPECT_EQ(app->fadeState(), FadeState::Idle);
    // → a key wakes it once more, then the password unlocks.
    type("x");
    env.advance(0.2);
    EXPECT_EQ(app->dimState(), DimState::Active);
    press(platform::keycode::Escape);
    enter(kPassword);
    expectEverythingUndone();
}

TEST_F(LockCycleTest, LockedAndUnlockedByRequest) {
    platform::NotificationCenter::defaultCenter().post(kLockRequest);
    env.advance(0);
    ASSERT_EQ(app->lockState(), LockState::Locked);
    env.advance(5);
    platform::NotificationCenter::defaultCenter().post(kUnlockRequest);
    env.advance(0);
    expectEverythingUndone();
    EXPECT_EQ(eventNames(), (std::vector<std::string>{kScreenLockedEvent, kScreenUnlockedEvent}));
}

TEST_F(LockCycleTest, LockedBySleepAndUnlockedByAWakeWithinTheGraceTime) {
    set(kPrefLockScreenDelay, 30);
    workspace.triggerWillSleep();
    ASSERT_EQ(app->lockState(), LockState::Locked);
    env.advance(20);
    workspace.triggerDidWake();
    expectEverythingUndone();
    EXPECT_FALSE(app->sleeping());
}

TEST_F(LockCycleTest, LockedByInactivityAndAgainAfterTheUnlock) {
    set(kPrefAutoActivate, 1.0);
    paneCenter.post(kChangeNotification, kPreferencesObject);
    env.advance(0);
    ASSERT_TRUE(tap.deliver(platform::Event::ofType(platform::Event::Type::KeyDown)));
    env.advance(60);
    ASSERT_EQ(app->lockState(), LockState::Locked);
    wakeLockScreen();
    enter(kPassword);
    expectEverythingUndone();
    ASSERT_TRUE(tap.deliver(platform::Event::ofType(platform::Event::Type::KeyDown)));
    env.advance(60);
    EXPECT_EQ(app->lockState(), LockState::Locked);
}

}  // namespace
}  // namespace apptest
