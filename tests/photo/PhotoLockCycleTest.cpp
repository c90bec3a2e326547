#include "app/AppTestFixture.h"

#include "app/Photographer.h"
#include "platform/headless/HeadlessCapture.h"

#include <mutex>

namespace {

constexpr const char* kCameraID = "usb-Quillmere_Desk_Camera-video-index0";

// The photographer driven by the real lock controller: lock, a wrong
// password, unlock.
class PhotoLockCycle : public apptest::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        platform::Capture::install(&capture);
        camera = capture.addCamera(kCameraID, "Quillmere Desk Camera");
        camera->setFrameSize(32, 24);
        set(kPrefVideoCaptureDevice, kCameraID);
        set(kPrefSaveImagesImmediately, true);
        platform::NotificationCenter::defaultCenter().addObserver(&photos, kPhotoReadyNotification, {},
                                                                  [this](const platform::NotificationRef& n) {
                                                                      std::lock_guard<std::mutex> guard(photosLock);
                                                                      photos.push_back(n);
                                                                  });
        launch();
    }
    void TearDown() override {
        AppTest::TearDown();
        platform::NotificationCenter::defaultCenter().removeObserver(&photos);
        platform::Capture::install(nullptr);
    }

    std::size_t photoCount() {
        std::lock_guard<std::mutex> guard(photosLock);
        return photos.size();
    }
    const Posted* postedEvent(const std::string& name) const {
        for (const Posted& p : events)
            if (p.name == name) return &p;
        return nullptr;
    }
    std::string photoFolder() const {
        return platform::paths::expandTilde(platform::Defaults::standard().stringForKey(kPrefSaveImagesPath));
    }

    platform::headless::HeadlessCapture capture;
    platform::headless::HeadlessCameraRef camera;
    std::mutex photosLock;
    std::vector<platform::NotificationRef> photos;
};

TEST_F(PhotoLockCycle, AWrongPasswordIsPhotographedAndSavedUnderItsTimestamp) {
    lockAndSettle();
    ASSERT_EQ(app->lockState(), LockState::Locked);
    ASSERT_TRUE(app->hasCamera());
    EXPECT_EQ(env.alerts().shownCount(), 0u);
    EXPECT_TRUE(env.logged("Keeping white screen for 3 seconds"));

    wakeLockScreen();
    enter("not the password");
    const Posted* wrong = postedEvent(kWrongPasswordEvent);
    ASSERT_TRUE(wrong);
    const platform::Value timestamp = wrong->userInfo.at("timestamp");

    // The locked event and the wrong password each get their photo.
    ASSERT_TRUE(env.runLoop().runUntil([&] { return photoCount() == 2; }, 10.0));
    platform::NotificationRef photo;
    {
        std::lock_guard<std::mutex> guard(photosLock);
        for (const auto& p : photos)
            if (p->object() == platform::Value(kWrongPasswordEvent)) photo = p;
    }
    ASSERT_TRUE(photo);
    EXPECT_EQ(photo->userInfoValue("timestamp"), timestamp);
    EXPECT_EQ(photo->userInfoValue("eventName"), wrong->userInfo.at("eventName"));

    const std::string file =
        platform::paths::appendComponent(photoFolder(), timestamp.dateValue().format("%Y%m%d%H%M%S%F") + ".tiff");
    EXPECT_TRUE(platform::FileManager::fileExists(file)) << file;
    const auto image = photo->userInfoValue("image").objectAs<platform::Image>();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->name(), platform::paths::lastComponent(file));
    EXPECT_EQ(platform::FileManager::readFile(file).value_or(platform::Data{}), image->tiffRepresentation());
}

TEST_F(PhotoLockCycle, UnlockReplacesThePhotographerAndFreesTheCamera) {
    lockAndSettle();
    ASSERT_TRUE(app->currentPhotographer());
    ASSERT_TRUE(app->currentPhotographer()->hasSession());
    ASSERT_TRUE(env.runLoop().runUntil([&] { return photoCount() == 1; }, 10.0));  // the locked event's photo

    wakeLockScreen();
    enter(apptest::kPassword);
    env.advance(1.0);
    ASSERT_EQ(app->lockState(), LockState::Unlocked);
    EXPECT_TRUE(env.logged("Received terminate reuqest"));
    // A fresh photographer, not yet set up for the next lock.
    ASSERT_TRUE(app->currentPhotographer());
    EXPECT_FALSE(app->currentPhotographer()->hasSession());
    EXPECT_FALSE(camera->isOpen());
    EXPECT_FALSE(camera->isStreaming());
}

TEST_F(PhotoLockCycle, AnUnpluggedCameraLocksWithoutPhotosOrAlerts) {
    capture.unplugCamera(kCameraID);
    lockAndSettle();
    EXPECT_EQ(app->lockState(), LockState::Locked);
    EXPECT_FALSE(app->hasCamera());
    EXPECT_EQ(env.alerts().shownCount(), 0u);
    EXPECT_TRUE(env.logged("Set video capture device to Quillmere Desk Camera (not connected)"));
    EXPECT_FALSE(env.logged("Keeping white screen for 3 seconds"));
}

}  // namespace
