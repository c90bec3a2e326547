#include "AppTestFixture.h"

#include "platform/headless/HeadlessCapture.h"

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
    EXPECT_EQ(app->getFadeLock(), 1) << "still white";
    env.advance(0.2);
    EXPECT_EQ(app->getFadeLock(), 0);
    EXPECT_TRUE(app->isInputAccepted());
}

TEST_F(CameraLockTest, WhiteScreenIsShortWhileTheComputerGoesToSleep) {
    workspace.triggerWillSleep();
    ASSERT_EQ(app->getLock_status(), 1);
    EXPECT_FALSE(env.logged("Keeping white screen for 3 seconds"));
    env.advance(0.1);
    EXPECT_EQ(app->getFadeLock(), 0);
}

TEST_F(CameraLockTest, WhiteScreenDelayOffIsShort) {
    set(kPrefWhiteScreenDelay, false);
    app->lockScreen(nullptr);
    env.advance(0.1);
    EXPECT_EQ(app->getFadeLock(), 0);
}

}  // namespace
}  // namespace apptest
