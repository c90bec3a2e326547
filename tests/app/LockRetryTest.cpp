#include "AppTestFixture.h"

#include "platform/headless/HeadlessLockRequests.h"

#include <functional>

namespace apptest {
namespace {

using platform::CaptureOutcome;

// Locks nobody asked for by hand must come: what keeps one from being made
// now is only a reason to try again.
class LockRetryTest : public AppTest {
protected:
    void deliverInput() { ASSERT_TRUE(tap.deliver(platform::Event::ofType(platform::Event::Type::MouseMoved))); }
    platform::DisplayID mainDisplay() { return displays.displays().front(); }
    void holdGrabElsewhere() { displays.failCaptureOf(mainDisplay(), platform::Displays::kCannotComplete); }
};

TEST_F(LockRetryTest, AnInactivityLockIsRetriedAfterEveryKindOfRefusal) {
    struct Case {
        const char* refusal;
        std::function<void()> refuse;  // just before the inactivity timer fires
        std::function<void()> clear;
        std::size_t alertsShown;
    };
    const std::vector<Case> cases = {
        {"a fade in progress", [this] { ASSERT_TRUE(app->fadeOut(1.0f)); }, [this] { app->fadeIn(1.0f); }, 0},
        {"an alert up",
         [this] {
             // A lock asked for by hand waits in its alert while the timer fires.
             set(kPrefPassword, "");
             env.alerts().answerNext("Ok", [this] {
                 env.advance(1.0);
                 setPassword(kPassword);
             });
             app->lockScreen(nullptr);
         },
         [] {}, 1},
        {"a refused set-up check", [] { set(kPrefPassword, ""); }, [] { setPassword(kPassword); }, 0},
        {"a grab held by another client", [this] { holdGrabElsewhere(); }, [this] { displays.clearFailures(); }, 0},
    };
    set(kPrefAutoActivate, 1.0);
    launch();
    for (const Case& c : cases) {
        deliverInput();
        env.advance(59.7);
        const std::size_t alertsBefore = env.alerts().shownCount();
        c.refuse();
        env.advance(1.0);
        EXPECT_EQ(app->lockState(), LockState::Unlocked) << c.refusal;
        EXPECT_TRUE(env.logged("Could not lock after inactivity")) << c.refusal;
        c.clear();
        EXPECT_EQ(env.alerts().shownCount(), alertsBefore + c.alertsShown) << c.refusal << ": only a person is asked";
        env.advance(4.0);
        EXPECT_EQ(app->lockState(), LockState::Locked) << c.refusal << ": retried without any input";
        app->unlockScreen();
        env.advance(2.0);
    }
}

// A missing keyboard layout is no refusal: any lock is made with the layout
// at hand, and the lock screen says which one the password was set with.
TEST_F(LockRetryTest, AMissingPasswordLayoutNeverKeepsTheScreenOpen) {
    set(kPrefPasswordInputSource, "fr");
    set(kPrefAutoActivate, 1.0);
    launch();
    env.advance(60.5);
    ASSERT_EQ(app->lockState(), LockState::Locked) << "the inactivity lock";
    EXPECT_TRUE(env.alerts().shown().empty()) << "nobody is asked";
    EXPECT_TRUE(env.logged("The input source in use when setting the password is not available anymore: fr"));
    env.advance(3.0);
    wakeLockScreen();
    EXPECT_EQ(app->lockInfoText().stringValue(),
              "Please enter your password. The password was set with the keyboard layout fr.");
    enter(kPassword);
    ASSERT_EQ(app->lockState(), LockState::Unlocked);

    env.advance(1.5);
    app->lockScreen(nullptr);
    EXPECT_EQ(app->lockState(), LockState::Locked) << "a person's lock too";
}

// Each trigger stops retrying only for its own reason.
TEST_F(LockRetryTest, SleepBluetoothAndStartUpRetryUntilHeldOrTheirReasonIsGone) {
    auto post = [this](const char* name) {
        platform::NotificationCenter::defaultCenter().post(name, {}, {});
        env.advance(0);
    };
    struct Case {
        const char* trigger;
        LockTrigger waiting;
        std::function<void()> ask;
        std::function<void()> meanwhile;
        bool stillLocks;
    };
    const std::vector<Case> cases = {
        {"sleep, awake again and active", LockTrigger::Sleep, [this] { workspace.triggerWillSleep(); },
         [this] {
             workspace.triggerDidWake();
             deliverInput();
         },
         true},
        {"the device away", LockTrigger::Bluetooth, [&] { post(kLockRequest); }, [] {}, true},
        {"the device back", LockTrigger::Bluetooth, [&] { post(kLockRequest); }, [&] { post(kUnlockRequest); }, false},
        {"start-up, with activity", LockTrigger::StartUp, [] {}, [this] { deliverInput(); }, true},
    };
    for (const Case& c : cases) {
        set(kPrefLockOnStartup, c.waiting == LockTrigger::StartUp);
        holdGrabElsewhere();
        launch();
        c.ask();
        env.advance(7.0);
        EXPECT_EQ(app->lockState(), LockState::Unlocked) << c.trigger;
        EXPECT_TRUE(app->isLockRetryPending(c.waiting)) << c.trigger;
        if (c.waiting == LockTrigger::Sleep) {
            EXPECT_TRUE(workspace.sleepHeldBack()) << "sleep waits for the lock";
        }
        c.meanwhile();
        displays.clearFailures();
        env.advance(4.0);
        EXPECT_EQ(app->lockState(), c.stillLocks ? LockState::Locked : LockState::Unlocked) << c.trigger;
        EXPECT_FALSE(app->isLockRetryPending(c.waiting)) << c.trigger;
        EXPECT_FALSE(workspace.sleepHeldBack()) << c.trigger;
        app->unlockScreen();
        env.advance(2.0);
        app.reset();
    }
}

TEST_F(LockRetryTest, SleepGoesOnAtOnceWhenTheLockHolds) {
    launch();
    workspace.triggerWillSleep();
    EXPECT_EQ(app->lockState(), LockState::Locked);
    EXPECT_FALSE(workspace.sleepHeldBack());
}

// A display server that answers later: the lock is announced, scripted and
// shown only once it holds; a refusal leaves nothing behind.
TEST_F(LockRetryTest, TheLockIsAnnouncedOnlyOnceTheCaptureHolds) {
    platform::headless::HeadlessLockRequests requests;
    platform::LockRequests::install(&requests);
    displays.holdCaptureAnswers(true);
    set(kPrefAutoActivate, 1.0);
    launch();

    app->lockScreen(nullptr);
    env.advance(2.0);
    ASSERT_TRUE(displays.captureAnswerPending());
    EXPECT_EQ(app->lockState(), LockState::SettingUp);
    EXPECT_TRUE(eventNames().empty());
    EXPECT_TRUE(requests.announcements().empty());
    EXPECT_FALSE(app->lockWindow());
    app->lockScreen(nullptr);
    EXPECT_TRUE(env.logged("Not locking the screen: another lock is being set up"));

    displays.answerCapture(CaptureOutcome::Held);
    EXPECT_EQ(app->lockState(), LockState::Locked);
    EXPECT_EQ(eventNames(), std::vector<std::string>{kScreenLockedEvent});
    EXPECT_EQ(requests.announcements(), std::vector<bool>{true});
    EXPECT_TRUE(app->lockWindow());
    app->unlockScreen();
    env.advance(2.0);
    events.clear();

    app->lockScreen(nullptr);
    displays.answerCapture(CaptureOutcome::Refused);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    EXPECT_TRUE(eventNames().empty());
    EXPECT_EQ(requests.announcements(), (std::vector<bool>{true, false}));
    EXPECT_FALSE(app->lockWindow());
    EXPECT_FALSE(displays.anyCaptured());
    env.advance(2.0);
    EXPECT_DOUBLE_EQ(displays.currentBlend(), 0.0) << "the white screen is gone";

    // An automatic lock refused later is retried, and its answer may come late too.
    deliverInput();
    env.advance(61.0);
    displays.answerCapture(CaptureOutcome::Refused);
    env.advance(4.0);
    ASSERT_TRUE(displays.captureAnswerPending()) << "tried again";
    displays.answerCapture(CaptureOutcome::Held);
    EXPECT_EQ(app->lockState(), LockState::Locked);

    // A lock taken away by the display server is taken again.
    displays.loseCapture();
    EXPECT_FALSE(displays.anyCaptured());
    displays.answerCapture(CaptureOutcome::Held);
    EXPECT_TRUE(displays.anyCaptured());
    EXPECT_EQ(app->lockState(), LockState::Locked);

    app.reset();
    platform::LockRequests::install(nullptr);
}

}  // namespace
}  // namespace apptest
