#include "AppTestFixture.h"

#include <atomic>
#include <cmath>
#include <limits>
#include <chrono>
#include <future>
#include <thread>

namespace apptest {
namespace {

using Displays = platform::headless::HeadlessDisplays;

class InactivityTest : public AppTest {
protected:
    void deliverInput(platform::Event::Type type = platform::Event::Type::MouseMoved) {
        ASSERT_TRUE(tap.deliver(platform::Event::ofType(type)));
    }
};

TEST_F(InactivityTest, AbsentOrLowSliderNeverLocks) {
    launch();
    EXPECT_FALSE(idleTimer);
    deliverInput();
    env.advance(4 * 3600);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);

    set(kPrefAutoActivate, 0.99);
    paneCenter.post(kChangeNotification, kPreferencesObject);
    env.advance(0);
    deliverInput();
    EXPECT_FALSE(idleTimer);
}

TEST_F(InactivityTest, SliderPositionsThatAreNoNumberReadAsOffAndHugeOnesAsADay) {
    launch();
    const struct {
        double position;
        bool locksAfterADay;
    } cases[] = {{std::nan(""), false}, {std::numeric_limits<double>::infinity(), false}, {1e30, true}};
    for (const auto& c : cases) {
        set(kPrefAutoActivate, c.position);
        paneCenter.post(kChangeNotification, kPreferencesObject);
        env.advance(2);
        deliverInput();
        env.advance(3600);
        EXPECT_EQ(app->lockState(), LockState::Unlocked) << c.position;
        env.advance(24 * 3600);
        EXPECT_EQ(app->lockState(), c.locksAfterADay ? LockState::Locked : LockState::Unlocked) << c.position;
        if (app->lockState() == LockState::Locked) app->unlockScreen();
        env.advance(2);
    }
}

TEST_F(InactivityTest, LocksAfterTheConfiguredMinutes) {
    set(kPrefAutoActivate, 1.0);
    launch();
    ASSERT_TRUE(idleTimer);
    env.advance(59);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    env.advance(1);
    EXPECT_EQ(app->lockState(), LockState::Locked);
}

TEST_F(InactivityTest, EveryKindOfEventRestartsTheInterval) {
    set(kPrefAutoActivate, 1.0);
    launch();
    for (auto type :
         {platform::Event::Type::KeyDown, platform::Event::Type::LeftMouseDown, platform::Event::Type::ScrollWheel,
          platform::Event::Type::FlagsChanged, platform::Event::Type::MouseMoved}) {
        env.advance(50);
        deliverInput(type);
    }
    EXPECT_EQ(app->lockState(), LockState::Unlocked) << "250 seconds without a 60-second gap";
    env.advance(59.5);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    env.advance(0.5);
    EXPECT_EQ(app->lockState(), LockState::Locked);
}

TEST_F(InactivityTest, ChangedSliderTakesEffectAtTheNextEvent) {
    set(kPrefAutoActivate, 92.0);  // 15 minutes
    launch();
    set(kPrefAutoActivate, 1.0);
    paneCenter.post(kChangeNotification, kPreferencesObject);
    env.advance(0);
    env.advance(14 * 60);
    EXPECT_EQ(app->lockState(), LockState::Unlocked) << "the old timer keeps its time";
    deliverInput();
    env.advance(60);
    EXPECT_EQ(app->lockState(), LockState::Locked);
}

TEST_F(InactivityTest, ExceptedApplicationSkipsTheLockOnlyWhileItIsInFront) {
    set(kPrefAutoActivate, 1.0);
    const std::string bundle = env.home() + "/Applications/Keynote.app";
    platform::FileManager::createDirectory(bundle + "/Contents", true);
    platform::FileManager::writeAtomically(
        bundle + "/Contents/Info.plist",
        platform::plist::serialize(platform::Dictionary{{"CFBundleExecutable", "Keynote"}}));
    set(kPrefExceptions, platform::Array{bundle});
    const auto keynote = processes.launch("Keynote");
    launch();
    processes.bringToFront(keynote);
    env.advance(61);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    EXPECT_TRUE(env.logged("Not locking computer. Keynote is currently the frontmost application."));
    env.advance(60);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    EXPECT_EQ(env.logLinesContaining("Not locking computer.").size(), 2u) << "looked at again after each interval";

    // Keynote goes behind without any input, as a presentation that ends.
    processes.bringToFront(finder);
    env.advance(60);
    EXPECT_EQ(app->lockState(), LockState::Locked);
}

TEST_F(InactivityTest, ARefusedInactivityLockIsRetriedUntilItHoldsOrTheUserReturns) {
    set(kPrefAutoActivate, 1.0);
    launch();
    const platform::DisplayID main = displays.displays().front();

    // Another client holds the keyboard while nobody is there: retried.
    displays.failCaptureOf(main, 1004);
    env.advance(60);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    env.advance(30);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    displays.clearFailures();
    env.advance(3);
    EXPECT_EQ(app->lockState(), LockState::Locked) << "the lock holds once the grab is free, without any input";
    app->unlockScreen();
    env.advance(1);

    // The user comes back: input takes over from the retries.
    deliverInput();
    displays.failCaptureOf(main, 1004);
    env.advance(60);
    deliverInput();
    displays.clearFailures();
    env.advance(59);
    EXPECT_EQ(app->lockState(), LockState::Unlocked) << "the full interval runs again after input";
    env.advance(1);
    EXPECT_EQ(app->lockState(), LockState::Locked);
    app->unlockScreen();
    env.advance(1);

    // A lock asked for by hand that fails is not retried.
    displays.failCaptureOf(main, 1004);
    app->lockScreen(nullptr);
    displays.clearFailures();
    env.advance(30);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
}

TEST_F(InactivityTest, TimerFiringWhileLockedDoesNothing) {
    set(kPrefAutoActivate, 1.0);
    launch();
    lockAndSettle();
    events.clear();
    deliverInput();
    env.advance(61);
    EXPECT_EQ(app->lockState(), LockState::Locked);
    EXPECT_TRUE(events.empty());
}

TEST_F(InactivityTest, WithoutTheTapOnlyTheStartUpTimerRuns) {
    set(kPrefAutoActivate, 1.0);
    tap.setCreationFails(true);
    launch();
    EXPECT_FALSE(tap.deliver(platform::Event::ofType(platform::Event::Type::KeyDown)));
    env.advance(60);
    EXPECT_EQ(app->lockState(), LockState::Locked);
}

TEST_F(InactivityTest, CallbackHandsTheEventBackUnchanged) {
    launch();
    auto event = platform::Event::keyDown(3, "f");
    EXPECT_EQ(EventTapCallBack(event), event);
}

class FadeTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        launch();
        env.clearLog();
    }
};

// A fade takes its half second on the displays while the application goes
// on: each half ends on the run loop.
TEST_F(FadeTest, PairFadesToTheLevelAndBackWithoutWaitingAndReleasesTheReservation) {
    EXPECT_TRUE(app->fadeOut(1.0f));
    EXPECT_EQ(app->fadeState(), FadeState::FadingOut);
    env.advance(0.5);
    EXPECT_EQ(app->fadeState(), FadeState::FadedOut);
    EXPECT_TRUE(displays.reservationHeld());
    EXPECT_DOUBLE_EQ(displays.currentBlend(), 1.0);
    app->fadeIn(1.0f);
    EXPECT_EQ(app->fadeState(), FadeState::FadingIn);
    EXPECT_TRUE(displays.reservationHeld());
    env.advance(0.5);
    EXPECT_EQ(app->fadeState(), FadeState::Idle);
    EXPECT_FALSE(displays.reservationHeld());
    EXPECT_DOUBLE_EQ(displays.currentBlend(), 0.0);
    EXPECT_NE(app->getTok(), 0u) << "the token is not cleared by the release";

    const auto fades = displays.fades();
    ASSERT_EQ(fades.size(), 2u);
    EXPECT_EQ(fades[0].duration, 0.5);
    EXPECT_EQ(fades[0].startBlend, 0.0);
    EXPECT_EQ(fades[0].endBlend, 1.0);
    EXPECT_EQ(fades[0].red, 1.0);
    EXPECT_EQ(fades[0].green, 1.0);
    EXPECT_EQ(fades[0].blue, 1.0);
    EXPECT_FALSE(fades[0].synchronous);
    EXPECT_FALSE(fades[1].synchronous);
    EXPECT_EQ(fades[1].startBlend, 1.0);
    EXPECT_EQ(fades[1].endBlend, 0.0);

    const std::vector<std::string> expected = {"-> Fading out", "fadeLock 0 set to 1", "<- Fading out",
                                               "-> Fading in",  "fadeLock 1 set to 2", "fadeLock 2 set to 0",
                                               "<- Fading in"};
    const auto lines = env.logLines();
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_NE(lines[i].find(expected[i]), std::string::npos) << lines[i];
}

TEST_F(FadeTest, AFadeInAskedForDuringTheFadeOutFollowsIt) {
    ASSERT_TRUE(app->fadeOut(1.0f));
    env.advance(0.1);
    app->fadeIn(1.0f);
    EXPECT_EQ(app->fadeState(), FadeState::FadingOut);
    env.advance(0.4);
    EXPECT_EQ(app->fadeState(), FadeState::FadingIn);
    env.advance(0.5);
    EXPECT_EQ(app->fadeState(), FadeState::Idle);
    EXPECT_FALSE(displays.reservationHeld());
}

TEST_F(FadeTest, SecondFadeOutIsRefused) {
    ASSERT_TRUE(app->fadeOut(0.0f));
    EXPECT_FALSE(app->fadeOut(0.0f));
    EXPECT_TRUE(env.logged("fadeLock 0 locked: 1"));
    env.advance(0.5);
    EXPECT_FALSE(app->fadeOut(0.0f));
    EXPECT_EQ(displays.fades().size(), 1u);
    EXPECT_EQ(displays.fades()[0].red, 0.0);
}

TEST_F(FadeTest, FadeInWithoutFadeOutIsRefusedAndLeavesInputAlone) {
    app->lockScreen(nullptr);  // input is not accepted from here until the fade-in
    ASSERT_FALSE(app->isInputAccepted());
    env.advance(1.0);  // the lock's own pair
    ASSERT_TRUE(app->isInputAccepted());
    env.clearLog();
    app->fadeIn(1.0f);
    EXPECT_TRUE(env.logged("fadeLock 1 locked: 0"));
    EXPECT_EQ(app->fadeState(), FadeState::Idle);
}

TEST_F(FadeTest, RefusedFadeInKeepsInputRefused) {
    app->lockScreen(nullptr);
    env.advance(0.5);
    ASSERT_EQ(app->fadeState(), FadeState::FadingIn) << "the lock's own fade-in follows its fade-out";
    app->fadeIn(1.0f);  // refused: the first is under way
    EXPECT_TRUE(env.logged("fadeLock 1 locked: 2"));
    EXPECT_FALSE(app->isInputAccepted());
    env.advance(0.5);
    EXPECT_TRUE(app->isInputAccepted());
    EXPECT_EQ(app->fadeState(), FadeState::Idle);
}

TEST_F(FadeTest, FailedReservationStillCompletesThePairAtOnce) {
    displays.failCall(Displays::Call::AcquireFadeReservation, 1011);
    EXPECT_TRUE(app->fadeOut(1.0f));
    EXPECT_TRUE(env.logged("Error acquiring display fade reservation: 1011; token: 0"));
    EXPECT_EQ(app->getTok(), 0u);
    EXPECT_TRUE(displays.fades().empty());
    EXPECT_EQ(app->fadeState(), FadeState::FadedOut);
    app->fadeIn(1.0f);
    EXPECT_EQ(app->fadeState(), FadeState::Idle);
    EXPECT_TRUE(displays.fades().empty()) << "no fade without a token";
    EXPECT_TRUE(env.logged("fadeLock 2 set to 0"));
}

TEST_F(FadeTest, FadeErrorsAreLoggedAndTheReservationLapsesByItself) {
    displays.failCall(Displays::Call::Fade, 1001);
    EXPECT_TRUE(app->fadeOut(1.0f));
    EXPECT_TRUE(env.logged("Error fading display: 1001"));
    app->fadeIn(1.0f);
    EXPECT_EQ(env.logLinesContaining("Error fading display: 1001").size(), 2u);
    EXPECT_EQ(app->fadeState(), FadeState::Idle);
    EXPECT_TRUE(displays.reservationHeld()) << "not released after a failed fade";
    env.advance(15.1);
    EXPECT_FALSE(displays.reservationHeld());
    displays.clearFailures();
    EXPECT_TRUE(app->fadeOut(1.0f));
    EXPECT_EQ(displays.fades().size(), 1u);
}

TEST_F(FadeTest, ReleaseErrorIsLogged) {
    displays.failCall(Displays::Call::ReleaseFadeReservation, 1003);
    app->fadeOut(1.0f);
    app->fadeIn(1.0f);
    env.advance(1.0);
    EXPECT_TRUE(env.logged("Error releasing display fade reservation: 1003"));
    EXPECT_EQ(app->fadeState(), FadeState::Idle);
}

TEST_F(FadeTest, FadingDisabledOnlySucceeds) {
    set(kPrefFadingEnabled, false);
    app->lockScreen(nullptr);
    EXPECT_FALSE(app->isInputAccepted());
    EXPECT_TRUE(app->fadeOut(1.0f));
    EXPECT_TRUE(app->fadeOut(1.0f));
    EXPECT_EQ(app->fadeState(), FadeState::Idle);
    app->fadeIn(1.0f);
    EXPECT_TRUE(app->isInputAccepted());
    EXPECT_TRUE(displays.fades().empty());
    EXPECT_TRUE(env.logLinesContaining("Fading").empty());
}

TEST_F(FadeTest, FadingSwitchedOffBetweenTheTwoHalvesStillFadesBack) {
    ASSERT_TRUE(app->fadeOut(1.0f));
    set(kPrefFadingEnabled, false);
    app->fadeIn(1.0f);
    env.advance(1.0);
    EXPECT_EQ(app->fadeState(), FadeState::Idle);
    EXPECT_DOUBLE_EQ(displays.currentBlend(), 0.0);
    EXPECT_FALSE(displays.reservationHeld());
    set(kPrefFadingEnabled, true);
    EXPECT_TRUE(app->fadeOut(1.0f)) << "later fades are not refused";
}

TEST_F(FadeTest, LockAbandonedAfterTheFadeOutLeavesNormalColoursAndTheNextLockWorks) {
    displays.failCall(Displays::Call::OnlineDisplays, 1000);
    app->lockScreen(nullptr);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    env.advance(1.0);
    EXPECT_DOUBLE_EQ(displays.currentBlend(), 0.0);
    EXPECT_FALSE(displays.reservationHeld());
    EXPECT_EQ(app->fadeState(), FadeState::Idle);

    displays.clearFailures();
    lockAndSettle();
    EXPECT_EQ(app->lockState(), LockState::Locked);
    EXPECT_DOUBLE_EQ(displays.currentBlend(), 0.0);
    EXPECT_EQ(app->fadeState(), FadeState::Idle);
    EXPECT_TRUE(app->isInputAccepted());
}

class DimTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        launch();
    }
};

TEST_F(DimTest, ModeOneLeavesThePictureFaint) {
    lockAndSettle();
    EXPECT_DOUBLE_EQ(app->lockImageView().alphaValue(), 0.3);
    EXPECT_EQ(power.idleRequests(), 0);
}

TEST_F(DimTest, ModeTwoHidesThePicture) {
    set(kPrefDimScreenMode, 2);
    lockAndSettle();
    EXPECT_DOUBLE_EQ(app->lockImageView().alphaValue(), 0.0);
    EXPECT_EQ(power.idleRequests(), 0);
}

TEST_F(DimTest, OtherModesPutTheDisplayToSleep) {
    set(kPrefDimScreenMode, 0);
    lockAndSettle();
    EXPECT_DOUBLE_EQ(app->lockImageView().alphaValue(), 0.3);
    EXPECT_EQ(power.idleRequests(), 1);
}

TEST_F(DimTest, MissingPowerEntryIsLogged) {
    set(kPrefDimScreenMode, 5);
    power.setHasPowerEntry(false);
    lockAndSettle();
    EXPECT_EQ(power.idleRequests(), 0);
    EXPECT_TRUE(env.logged("Failed to grab registry entry for IOService:/IOResources/IODisplayWrangler"));
    EXPECT_EQ(app->dimState(), DimState::Dimmed);
}

TEST_F(DimTest, NoInputForTheDimMinutesDimsAgain) {
    set(kPrefDimScreen, 2);
    lockAndSettle();
    wakeLockScreen();
    ASSERT_EQ(app->dimState(), DimState::Active);
    env.advance(119);
    app->lockWindow()->sendEvent(platform::Event::ofType(platform::Event::Type::MouseMoved));
    env.advance(119);
    EXPECT_EQ(app->dimState(), DimState::Active) << "input postpones the dimming";
    env.advance(1.5);
    EXPECT_EQ(app->dimState(), DimState::Dimmed);
    EXPECT_EQ(app->lockWindow()->backgroundColor(), platform::Color::black());
    EXPECT_TRUE(app->lockPasswordField().isHidden());
    EXPECT_EQ(app->lockInfoText().stringValue(), "");
    EXPECT_FALSE(app->timer(LockTimer::InputLimit));
    const auto fades = displays.fades();
    ASSERT_GE(fades.size(), 2u);
    EXPECT_EQ(fades[fades.size() - 2].red, 0.0) << "dimming fades through black";
    EXPECT_EQ(fades.back().red, 0.0);
    env.advance(1.0);
    EXPECT_EQ(app->fadeState(), FadeState::Idle);
}

class SleepTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        launch();
    }
};

TEST_F(SleepTest, SleepLocksWithoutTimersAndTheShortWhiteScreen) {
    workspace.triggerWillSleep();
    EXPECT_TRUE(app->sleeping());
    EXPECT_EQ(app->lockState(), LockState::Locked);
    EXPECT_FALSE(app->timer(LockTimer::Dim));
    EXPECT_FALSE(app->timer(LockTimer::InputLimit));
    EXPECT_FALSE(env.logged("Keeping white screen for 3 seconds"));
    env.advance(1.0);
    EXPECT_EQ(app->fadeState(), FadeState::Idle);
    EXPECT_TRUE(env.logged("WILL SLEEP"));

    workspace.triggerDidWake();
    EXPECT_FALSE(app->sleeping());
    EXPECT_EQ(app->lockState(), LockState::Locked) << "no grace time by default";
    EXPECT_TRUE(env.logged("DID WAKE"));
}

TEST_F(SleepTest, SleepWithoutLockOnSleepOnlyNotesIt) {
    set(kPrefLockOnSleepComputer, false);
    workspace.triggerWillSleep();
    EXPECT_TRUE(app->sleeping());
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    set(kPrefLockScreenDelay, 30);
    app->lockScreen(nullptr);
    workspace.triggerDidWake();
    EXPECT_EQ(app->lockState(), LockState::Locked) << "no wake unlock without lock on sleep";
    EXPECT_FALSE(app->sleeping());
}

TEST_F(SleepTest, WakeWithinTheGraceTimeUnlocksWithoutAPassword) {
    set(kPrefLockScreenDelay, 30);
    workspace.triggerWillSleep();
    env.advance(29);
    workspace.triggerDidWake();
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    EXPECT_EQ(eventNames(), (std::vector<std::string>{kScreenLockedEvent, kScreenUnlockedEvent}));
}

TEST_F(SleepTest, WakeAfterTheGraceTimeKeepsTheLock) {
    set(kPrefLockScreenDelay, 30);
    workspace.triggerWillSleep();
    env.advance(30);
    workspace.triggerDidWake();
    EXPECT_EQ(app->lockState(), LockState::Locked);
}

TEST_F(SleepTest, GraceTimeAppliesWhateverCausedTheLock) {
    set(kPrefLockScreenDelay, 30);
    app->lockScreen(nullptr);
    env.advance(10);
    workspace.triggerWillSleep();  // already locked: nothing new
    workspace.triggerDidWake();
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
}

class RequestTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        launch();
    }
};

TEST_F(RequestTest, RequestsFromAnotherThreadRunOnTheMainThreadInArrivalOrder) {
    std::vector<std::string> order;
    std::vector<bool> onMain;
    platform::NotificationCenter::defaultCenter().addObserver(&order, "", {}, [&](const platform::NotificationRef& n) {
        if (n->name() == kScreenLockedEvent || n->name() == kScreenUnlockedEvent) {
            order.push_back(n->name());
            onMain.push_back(platform::RunLoop::main().isMainThread());
        }
    });
    // The monitor's thread hands both requests over and goes on at once.
    auto forwarded = std::async(std::launch::async, [this] {
        app->bluetoothNotification(std::make_shared<platform::Notification>(kLockRequest));
        app->bluetoothNotification(std::make_shared<platform::Notification>(kUnlockRequest));
        app->bluetoothNotification(std::make_shared<platform::Notification>("com.quillmere.Tarnwick.other"));
    });
    ASSERT_EQ(forwarded.wait_for(std::chrono::seconds(5)), std::future_status::ready)
        << "forwarding must not wait for the main thread";
    EXPECT_TRUE(order.empty());
    env.advance(0);
    EXPECT_EQ(order, (std::vector<std::string>{kScreenLockedEvent, kScreenUnlockedEvent}));
    EXPECT_EQ(onMain, (std::vector<bool>{true, true}));
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    platform::NotificationCenter::defaultCenter().removeObserver(&order);
}

TEST_F(RequestTest, RequestsPostedOnAnotherThreadReachTheController) {
    std::atomic<bool> posted{false};
    std::thread monitor([&] {
        platform::NotificationCenter::defaultCenter().post(kLockRequest);
        posted.store(true);
    });
    // Other observers of the centre may hand work to the main thread meanwhile.
    ASSERT_TRUE(env.runLoop().runUntil([&] { return posted.load() && app->lockState() == LockState::Locked; }));
    monitor.join();
    EXPECT_EQ(eventNames(), std::vector<std::string>{kScreenLockedEvent});
}

TEST_F(RequestTest, UnlockRequestReleasesALockWithoutPassword) {
    lockAndSettle();
    platform::NotificationCenter::defaultCenter().post(kUnlockRequest);
    EXPECT_EQ(app->lockState(), LockState::Locked);
    env.advance(0);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
}

}  // namespace
}  // namespace apptest
