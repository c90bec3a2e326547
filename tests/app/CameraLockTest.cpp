#include "AppTestFixture.h"

#include "platform/headless/HeadlessCapture.h"

#include <algorithm>

namespace apptest {
namespace {

// A lock with a working camera: the photographer sets up its session and the
// white screen stays for the photo.
class CameraLockTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        platform::Capture::install(&capture);
        camera = capture.addCamera("0x1a11000005ac8510", "Headless Camera");
        set(kPrefVideoCaptureDevice, "0x1a11000005ac8510");
        launch();
    }
    void TearDown() override {
        AppTest::TearDown();
        platform::Capture::install(nullptr);
    }

    platform::headless::HeadlessCapture capture;
    platform::headless::HeadlessCameraRef camera;
};

TEST_F(CameraLockTest, WhiteScreenStaysThreeSecondsForThePhoto) {
    app->lockScreen(nullptr);
    ASSERT_TRUE(app->hasCamera()) << "the session could be set up";
    EXPECT_TRUE(env.logged("Keeping white screen for 3 seconds"));
    env.advance(2.9);
    EXPECT_EQ(app->fadeState(), FadeState::FadedOut) << "still white";
    env.advance(0.2);
    EXPECT_EQ(app->fadeState(), FadeState::FadingIn);
    env.advance(0.5);
    EXPECT_EQ(app->fadeState(), FadeState::Idle);
    EXPECT_TRUE(app->isInputAccepted());
}

TEST_F(CameraLockTest, WhiteScreenIsShortWhileTheComputerGoesToSleep) {
    workspace.triggerWillSleep();
    ASSERT_EQ(app->lockState(), LockState::Locked);
    EXPECT_FALSE(env.logged("Keeping white screen for 3 seconds"));
    env.advance(1.0);
    EXPECT_EQ(app->fadeState(), FadeState::Idle);
}

TEST_F(CameraLockTest, WhiteScreenDelayOffIsShort) {
    set(kPrefWhiteScreenDelay, false);
    app->lockScreen(nullptr);
    env.advance(1.0);
    EXPECT_EQ(app->fadeState(), FadeState::Idle);
}

TEST_F(CameraLockTest, AChangeAnnouncedWhileLockedIsReadAtTheUnlockWhichBringsBackThePhotographer) {
    camera->setConnected(false);
    app->lockScreen(nullptr);
    ASSERT_EQ(app->lockState(), LockState::Locked);
    ASSERT_FALSE(app->hasCamera()) << "the set-up failed, so the lock goes on without photos";

    camera->setConnected(true);
    paneCenter.post(kChangeNotification, kPreferencesObject);
    env.advance(1.0);
    EXPECT_FALSE(env.logged("Reading the changed settings")) << "the lock keeps the settings it began with";
    EXPECT_FALSE(app->hasCamera());

    app->unlockScreen();
    env.advance(1.0);
    EXPECT_EQ(env.logLinesContaining("Reading the changed settings").size(), 1u);
    EXPECT_TRUE(app->hasCamera());
    EXPECT_FALSE(env.logged("Cannot acquire video device."));
    EXPECT_EQ(std::count(paneSaw.begin(), paneSaw.end(), kVideoLockFailedNotification), 0);
}

// The camera wait: another program takes the camera right after the set-up,
// so the check before the screen goes dark finds it busy.
class CameraWaitTest : public CameraLockTest {
protected:
    void SetUp() override {
        CameraLockTest::SetUp();
        camera->setTakenOnClose(true);
    }
    std::vector<std::string> alertMessages() {
        std::vector<std::string> messages;
        for (const auto& alert : env.alerts().shown()) messages.push_back(alert.messageText);
        return messages;
    }
};

TEST_F(CameraWaitTest, TryAgainLooksAgainUntilTheCameraIsFreeAndThenLocks) {
    env.alerts().answerNext("Try again");
    env.alerts().answerNext("Try again", [this] { camera->setBusy(false); });
    app->lockScreen(nullptr);
    EXPECT_EQ(alertMessages(), (std::vector<std::string>{"Camera busy", "Camera busy"}));
    EXPECT_EQ(app->lockState(), LockState::Locked);
    EXPECT_TRUE(displays.anyCaptured());
    EXPECT_TRUE(workspace.openedFiles().empty()) << "the preferences stay closed";
}

TEST_F(CameraWaitTest, OpenPreferencesGivesUpTheLockAndFadesBack) {
    env.alerts().answerNext("Try again");
    env.alerts().answerNext("Open Tarnwick preferences");
    app->lockScreen(nullptr);
    EXPECT_EQ(alertMessages(), (std::vector<std::string>{"Camera busy", "Camera busy"}));
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    EXPECT_FALSE(displays.anyCaptured());
    EXPECT_EQ(workspace.openedFiles(), (std::vector<std::string>{paneBundlePath()}));
    EXPECT_TRUE(eventNames().empty());
    env.advance(1.0);
    EXPECT_DOUBLE_EQ(displays.currentBlend(), 0.0) << "the white screen is gone";

    // Nothing of the abandoned attempt holds up the next one.
    camera->setTakenOnClose(false);
    camera->setBusy(false);
    app->lockScreen(nullptr);
    EXPECT_EQ(app->lockState(), LockState::Locked);
}

}  // namespace
}  // namespace apptest
