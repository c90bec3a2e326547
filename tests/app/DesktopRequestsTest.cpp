#include "AppTestFixture.h"

#include "platform/headless/HeadlessLockRequests.h"

namespace apptest {
namespace {

// Requests of the desktop's other programs and of the login manager, and what
// the application tells them back; on the manual clock.
class DesktopRequestsTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        platform::LockRequests::install(&requests);
        platform::IdleTime::install(&idleTime);
        set(kPrefAutoActivate, 1.0);  // one minute
    }
    void TearDown() override {
        AppTest::TearDown();
        platform::IdleTime::install(nullptr);
        platform::LockRequests::install(nullptr);
    }
    platform::ScreenSaverSession& desktop() { return requests.session(); }
    std::uint32_t inhibit(const std::string& caller) {
        return std::get<std::uint32_t>(desktop().inhibit(caller, "mpv", "Playing a film"));
    }

    platform::headless::HeadlessLockRequests requests;
    platform::headless::HeadlessIdleTime idleTime;
};

TEST_F(DesktopRequestsTest, ALockRequestLocksAndTheDesktopIsToldOfLockAndUnlock) {
    launch();
    ASSERT_TRUE(requests.isStarted());
    desktop().lock();
    EXPECT_EQ(app->lockState(), LockState::Unlocked) << "carried out after the request is answered";
    env.advance(0);
    EXPECT_EQ(app->lockState(), LockState::Locked);
    EXPECT_TRUE(desktop().isActive());
    env.advance(30);
    EXPECT_EQ(desktop().activeSeconds(), 30u);

    wakeLockScreen();
    enter(kPassword);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    EXPECT_FALSE(desktop().isActive());
    EXPECT_EQ(desktop().activeSeconds(), 0u);
    EXPECT_EQ(requests.announcements(), (std::vector<bool>{true, false}));
}

TEST_F(DesktopRequestsTest, ARefusedLockIsNeverAnnouncedAsLocked) {
    launch();
    displays.failCaptureOf(displays.displays().front(), 1004);
    desktop().lock();
    env.advance(0);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    EXPECT_TRUE(requests.announcements().empty());
}

TEST_F(DesktopRequestsTest, TheLoginManagersUnlockOnlyShowsThePasswordPrompt) {
    launch();
    lockAndSettle();
    ASSERT_EQ(app->dimState(), DimState::Dimmed);
    desktop().loginManagerUnlock();
    env.advance(0.5);
    EXPECT_EQ(app->lockState(), LockState::Locked) << "an unlock request without the password never unlocks";
    EXPECT_TRUE(desktop().isActive());
    EXPECT_EQ(app->dimState(), DimState::Active) << "the password prompt is shown, as at the first key press";
    EXPECT_FALSE(app->lockPasswordField().isHidden());
    EXPECT_TRUE(env.logged("The login manager asked to unlock the screen"));

    desktop().loginManagerUnlock();
    env.advance(0.5);
    EXPECT_EQ(app->lockState(), LockState::Locked);
    enter(kPassword);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    desktop().loginManagerUnlock();
    env.advance(0.5);
    EXPECT_EQ(app->lockState(), LockState::Unlocked) << "nothing to show while unlocked";
}

TEST_F(DesktopRequestsTest, AnInhibitionKeepsTheInactivityLockAwayUntilItsCallerLeaves) {
    launch();
    inhibit(":1.7");
    env.advance(10 * 60);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    EXPECT_TRUE(env.logged("Not locking computer. mpv keeps the screen awake."));

    desktop().callerLeft(":1.7");
    env.advance(59);
    EXPECT_EQ(app->lockState(), LockState::Unlocked) << "idleness counts from the end of the inhibition";
    env.advance(1);
    EXPECT_EQ(app->lockState(), LockState::Locked);
}

TEST_F(DesktopRequestsTest, TheLastUnInhibitLetsTheInactivityLockComeBack) {
    launch();
    const auto first = inhibit(":1.7");
    const auto second = inhibit(":1.8");
    env.advance(120);
    desktop().uninhibit(":1.7", first);
    env.advance(120);
    EXPECT_EQ(app->lockState(), LockState::Unlocked) << "one inhibition is still held";
    EXPECT_EQ(desktop().uninhibit(":1.7", second), platform::Inhibitions::Refusal::NotTheOwner);
    desktop().uninhibit(":1.8", second);
    env.advance(60);
    EXPECT_EQ(app->lockState(), LockState::Locked);
}

TEST_F(DesktopRequestsTest, SimulatedActivityRestartsTheTimerAndNeverUnlocks) {
    launch();
    env.advance(50);
    desktop().simulateUserActivity();
    env.advance(50);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    env.advance(10);
    EXPECT_EQ(app->lockState(), LockState::Locked);

    env.advance(3);
    for (int i = 0; i < 5; ++i) desktop().simulateUserActivity();
    env.advance(1);
    EXPECT_EQ(app->lockState(), LockState::Locked);
    EXPECT_EQ(app->dimState(), DimState::Dimmed) << "the dimmed lock screen is left as it is";
}

TEST_F(DesktopRequestsTest, AScreenSaverResetPostponesTheInactivityLockWithoutAnyInput) {
    launch();
    env.advance(40);
    idleTime.resetScreenSaver();
    env.advance(20);
    EXPECT_EQ(app->lockState(), LockState::Unlocked) << "the server saw activity 20 seconds ago";
    env.advance(39);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    env.advance(1);
    EXPECT_EQ(app->lockState(), LockState::Locked) << "a minute after the reset";
}

TEST_F(DesktopRequestsTest, NothingReachesAnApplicationThatHasEnded) {
    launch();
    app.reset();
    EXPECT_FALSE(requests.isStarted());
    desktop().lock();
    desktop().loginManagerUnlock();
    env.advance(1);
}

}  // namespace
}  // namespace apptest
