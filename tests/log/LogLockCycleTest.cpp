#include "LogTestSupport.h"
#include "app/AppTestFixture.h"

#include "app/LogController.h"
#include "app/LogItem.h"
#include "app/Photographer.h"
#include "platform/headless/HeadlessCapture.h"

#include <fstream>
#include <sys/stat.h>

namespace {

constexpr const char* kCameraID = "usb-Quillmere_Log_Camera-video-index0";

// A whole lock cycle under the real lock controller, with a camera, the log
// and a script: lock, a wrong password, unlock.
class LogLockCycle : public apptest::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        platform::Capture::install(&capture);
        capture.addCamera(kCameraID, "Quillmere Log Camera")->setFrameSize(32, 24);
        photos = env.home() + "/photos";
        platform::FileManager::createDirectory(photos);
        script = env.home() + "/on wrong password";  // a blank: quoted by the user below
        std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.part\"\nmv \"$0.part\" \"$0.out\"\n";
        ::chmod(script.c_str(), 0755);

        set(kPrefVideoCaptureDevice, kCameraID);
        set(kPrefSaveImagesPath, photos);
        set(kPrefSaveImagesImmediately, false);
        set("wrongPassword.script", true);
        set("wrongPassword.script.photo", true);
        set("wrongPassword.script.details", "'" + script + "'|||#TIMESTAMP# #IMAGE#");
        launch();
    }
    void TearDown() override {
        AppTest::TearDown();
        platform::Capture::install(nullptr);
    }
    const Posted* postedEvent(const std::string& name) const {
        for (const Posted& p : events)
            if (p.name == name) return &p;
        return nullptr;
    }

    platform::headless::HeadlessCapture capture;
    std::string photos;
    std::string script;
};

TEST_F(LogLockCycle, AfterUnlockTheLogShowsThePhotosAndTheScriptHasRun) {
    LogController& log = *app->logWindowController();
    lockAndSettle();
    ASSERT_EQ(app->lockState(), LockState::Locked);
    wakeLockScreen();
    enter("not the password");
    const Posted* wrong = postedEvent(kWrongPasswordEvent);
    ASSERT_TRUE(wrong);
    const std::string stamp = wrong->userInfo.at("timestamp").dateValue().format(kPhotoTimestampFormat);

    auto entries = log.logEntries();
    ASSERT_EQ(entries.size(), 2u);
    ASSERT_TRUE(env.runLoop().runUntil([&] { return entries[0]->image() && entries[1]->image(); }, 10.0));

    const std::string photo = photos + "/" + stamp + ".tiff";
    ASSERT_TRUE(logtest::waitUntil([&] { return platform::FileManager::fileExists(script + ".out"); }));
    EXPECT_EQ(logtest::readText(script + ".out"), stamp + "\n" + photo + "\n");
    EXPECT_TRUE(platform::FileManager::fileExists(photo));

    wakeLockScreen();
    enter(apptest::kPassword);
    env.advance(2.0);
    ASSERT_EQ(app->lockState(), LockState::Unlocked);

    entries = log.logEntries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0]->message(), "Screen locked");
    EXPECT_FALSE(entries[0]->image()->isTemplate());
    EXPECT_EQ(entries[1]->message(), "Invalid password entered: ******");
    EXPECT_EQ(entries[1]->image()->name(), stamp + ".tiff");
    EXPECT_EQ(entries[2]->message(), "Screen unlocked");
    EXPECT_EQ(entries[2]->image()->name(), "NSLockUnlockedTemplate");

    // Opened a second after the unlock, sized for three rows, at three fifths of the screen.
    EXPECT_TRUE(log.window().isVisible());
    const platform::Rect frame = log.window().frame();
    EXPECT_EQ(frame.height, 42 * 3 + 60);
    EXPECT_EQ(frame.x, (1440 - frame.width) / 2);
    EXPECT_EQ(frame.y, 900 * 3.0 / 5 - 60.0 / 2);
    EXPECT_FALSE(log.showPasswords().isHidden());
    EXPECT_FALSE(log.clearButton().isHidden());

    // The next lock starts a fresh log.
    lockAndSettle();
    EXPECT_EQ(log.logEntryCount(), 1u);
    EXPECT_FALSE(log.window().isVisible());
}

}  // namespace
