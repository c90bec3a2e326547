#include "PhotoTestSupport.h"

using namespace phototest;
using platform::Capture;

namespace {

using PhotographerSetup = PhotographerTest;

TEST_F(PhotographerSetup, EmptyCameraSettingDisablesPhotosWithoutAlert) {
    platform::Defaults::standard().setObject(platform::Value(""), kPrefVideoCaptureDevice);
    createPhotographer();
    EXPECT_FALSE(photographer->setupCaptureSession());
    EXPECT_FALSE(photographer->hasSession());
    EXPECT_TRUE(env.logged("Video capturing disabled."));
    EXPECT_EQ(env.alerts().shownCount(), 0u);
    EXPECT_EQ(camera->openCount(), 0);
}

TEST_F(PhotographerSetup, NoCameraAtAllShowsTheNoCameraAlert) {
    capture.removeCamera(kCameraID);
    createPhotographer();
    EXPECT_FALSE(photographer->setupCaptureSession());
    ASSERT_EQ(env.alerts().shownCount(), 1u);
    const auto alert = env.alerts().shown().front();
    EXPECT_EQ(alert.messageText, "No camera found");
    EXPECT_EQ(alert.informativeText,
              "Maybe it is in use by another application? Tarnwick will not be able to take photos.");
    EXPECT_EQ(alert.buttons, std::vector<std::string>{"Ok"});
    EXPECT_TRUE(env.logged("Failed to setup session."));
    EXPECT_FALSE(photographer->hasSession());
}

TEST_F(PhotographerSetup, ConfiguredCameraMissingDisconnectedOrBusyFailsQuietly) {
    struct Case {
        std::function<void()> arrange;
        const char* logLine;
    };
    const std::vector<Case> cases = {
        {[&] { platform::Defaults::standard().setObject(platform::Value("elsewhere"), kPrefVideoCaptureDevice); },
         "Failed to setup session."},
        {[&] { camera->setConnected(false); }, "Set video capture device to Quillmere Test Camera (not connected)"},
        {[&] { camera->setBusy(true); },
         "Set video capture device to Quillmere Test Camera (used by another application)"},
        {[&] { camera->setOpenError("permission denied on /dev/video0"); }, "permission denied on /dev/video0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logLine);
        c.arrange();
        createPhotographer();
        EXPECT_FALSE(photographer->setupCaptureSession());
        EXPECT_TRUE(env.logged(c.logLine));
        EXPECT_TRUE(env.logged("Failed to setup session."));
        EXPECT_FALSE(photographer->hasSession());
        EXPECT_FALSE(camera->isOpen());
        EXPECT_EQ(env.alerts().shownCount(), 0u);
        photographer.reset();
        env.clearLog();
        platform::Defaults::standard().setObject(platform::Value(kCameraID), kPrefVideoCaptureDevice);
        camera->setConnected(true);
        camera->setBusy(false);
        camera->setOpenError("");
    }
}

TEST_F(PhotographerSetup, UsableCameraIsBoundClosedAndSetUpOnlyOnce) {
    capture.addCamera("other", "Other Camera");
    createPhotographer();
    EXPECT_TRUE(photographer->setupCaptureSession());
    EXPECT_TRUE(env.logged("Set video capture device to Quillmere Test Camera"));
    EXPECT_EQ(camera->openCount(), 1);
    EXPECT_FALSE(camera->isOpen());
    EXPECT_TRUE(photographer->setupCaptureSession());
    EXPECT_TRUE(env.logged("Session already set."));
    EXPECT_EQ(camera->openCount(), 1);
}

TEST_F(PhotographerSetup, MuxedDevicesAreListedAfterVideoDevices) {
    capture.removeCamera(kCameraID);
    auto muxed = capture.addCamera(kCameraID, "Muxed Camera", Capture::MediaType::Muxed);
    capture.addCamera("video-only", "Video Camera");
    const auto devices = Capture::shared().inputDevices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0]->uniqueID(), "video-only");
    EXPECT_EQ(devices[1]->uniqueID(), kCameraID);
    createPhotographer();
    EXPECT_TRUE(photographer->setupCaptureSession());
    EXPECT_EQ(muxed->openCount(), 1);
}

TEST_F(PhotographerSetup, CameraReadyAnswersTwoForAUsableCamera) {
    createAndSetUp();
    EXPECT_EQ(photographer->cameraReady(), CameraAnswer::Ready);
    EXPECT_EQ(env.alerts().shownCount(), 0u);
}

TEST_F(PhotographerSetup, CameraReadyWithoutSessionAsksAndTryAgainAnswersOne) {
    createPhotographer();
    env.alerts().answerNext("Try again");
    EXPECT_EQ(photographer->cameraReady(), CameraAnswer::TryAgain);
    ASSERT_EQ(env.alerts().shownCount(), 1u);
    const auto alert = env.alerts().shown().front();
    EXPECT_EQ(alert.messageText, "Configured camera cannot be used");
    EXPECT_EQ(alert.informativeText,
              "The currently configured camera (null) cannot be used. Press \"Try Again\" or select another camera "
              "in System Preferences.");
    EXPECT_EQ(alert.buttons, (std::vector<std::string>{"Open Tarnwick preferences", "Try again"}));
    EXPECT_TRUE(delegate.preferenceSenders.empty());
}

TEST_F(PhotographerSetup, CameraReadyPreferencesButtonOpensPreferencesAndAnswersZero) {
    createAndSetUp();
    camera->setConnected(false);
    env.alerts().answerNext("Open Tarnwick preferences");
    EXPECT_EQ(photographer->cameraReady(), CameraAnswer::OpenPreferences);
    ASSERT_EQ(env.alerts().shownCount(), 1u);
    const auto alert = env.alerts().shown().front();
    EXPECT_EQ(alert.messageText, "Camera not attached");
    EXPECT_EQ(alert.informativeText,
              "The currently configured camera Quillmere Test Camera is not connected. Reconnect it and press "
              "\"Try Again\" or select another camera in System Preferences.");
    ASSERT_EQ(delegate.preferenceSenders.size(), 1u);
    EXPECT_EQ(delegate.preferenceSenders.front(), photographer.get());
}

TEST_F(PhotographerSetup, CameraReadyReportsABusyCameraUntilItIsFree) {
    createAndSetUp();
    camera->setBusy(true);
    env.alerts().answerNext("Try again");
    EXPECT_EQ(photographer->cameraReady(), CameraAnswer::TryAgain);
    ASSERT_EQ(env.alerts().shownCount(), 1u);
    const auto alert = env.alerts().shown().front();
    EXPECT_EQ(alert.messageText, "Camera busy");
    EXPECT_EQ(alert.informativeText,
              "The currently configured camera Quillmere Test Camera is being used by another application. Quit "
              "that application or select another camera in System Preferences.");
    camera->setBusy(false);
    EXPECT_EQ(photographer->cameraReady(), CameraAnswer::Ready);
    EXPECT_EQ(env.alerts().shownCount(), 1u);
}

TEST_F(PhotographerSetup, DeviceObserversHearAboutPluggedAndUnpluggedCameras) {
    int changes = 0;
    env.runLoop().servicePendingPerforms();  // the fixture's own camera
    Capture::shared().observeDevices(this, [&] { ++changes; });
    capture.addCamera("new", "New Camera");
    capture.unplugCamera("new");
    capture.removeCamera("new");
    env.runLoop().servicePendingPerforms();
    EXPECT_EQ(changes, 3);
    Capture::shared().removeDeviceObserver(this);
    capture.addCamera("later", "Later Camera");
    env.runLoop().servicePendingPerforms();
    EXPECT_EQ(changes, 3);
}

}  // namespace
