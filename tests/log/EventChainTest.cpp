#include "LogTestSupport.h"

#include "app/ImageView_MouseOver.h"
#include "app/LogController.h"
#include "app/LogItem.h"
#include "app/Photographer.h"
#include "app/ScriptHandler.h"
#include "platform/foundation/Defaults.h"
#include "platform/headless/HeadlessCapture.h"
#include "platform/headless/HeadlessDisplays.h"
#include "platform/headless/HeadlessWorkspace.h"
#include "platform/ui/Event.h"
#include "shared/QMASL.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

using namespace logtest;
using platform::Date;
using platform::Defaults;

namespace {

constexpr const char* kCameraID = "usb-Quillmere_Chain_Camera-video-index0";

// The camera, the photographer, the log and the script runner together, as
// the lock controller wires them: each event's photo reaches both consumers.
class EventChainTest : public ::testing::Test {
protected:
    void SetUp() override {
        qmasl::resetLevelForTesting(7);
        platform::Capture::install(&capture);
        platform::Displays::install(&displays);
        platform::Workspace::install(&workspace);
        capture.addCamera(kCameraID, "Chain Camera");

        photos = env.home() + "/photos";
        platform::FileManager::createDirectory(photos);
        script = env.home() + "/on-wrong-password";
        std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << script << ".part'\nmv '" << script
                              << ".part' '" << script << ".out'\n";
        ::chmod(script.c_str(), 0755);

        auto& defaults = Defaults::standard();
        defaults.setObject(kCameraID, kPrefVideoCaptureDevice);
        defaults.setObject(photos, kPrefSaveImagesPath);
        defaults.setObject(false, kPrefSaveImagesImmediately);
        for (const char* stem : {"screenLocked", "wrongPassword", "passwordTimeout"}) {
            defaults.setObject(true, stem);
            defaults.setObject(true, std::string(stem) + ".log");
            defaults.setObject(std::string(stem) != "screenLocked", std::string(stem) + ".log.photo");
        }
        defaults.setObject(true, "wrongPassword.script");
        defaults.setObject(true, "wrongPassword.script.photo");
        defaults.setObject(script + "|||#TIMESTAMP# #IMAGE#", "wrongPassword.script.details");

        log = std::make_shared<LogController>(&delegate);
        scripts = std::make_unique<ScriptHandler>(&delegate);
        photographer = Photographer::initWithDelegate(&delegate);
        ASSERT_TRUE(photographer->setupCaptureSession());
    }
    void TearDown() override {
        if (photographer) photographer->terminate();
        photographer.reset();
        EXPECT_TRUE(waitUntil([&] { return scripts->runsUnderWay() == 0; }));
        scripts.reset();
        log.reset();
        platform::Workspace::install(nullptr);
        platform::Displays::install(nullptr);
        platform::Capture::install(nullptr);
        qmasl::resetLevelForTesting(-1);
    }

    platform::headless::HeadlessEnvironment env;
    platform::headless::HeadlessCapture capture;
    platform::headless::HeadlessDisplays displays{1};
    platform::headless::HeadlessWorkspace workspace;
    FakeDelegate delegate;
    std::shared_ptr<LogController> log;
    std::unique_ptr<ScriptHandler> scripts;
    std::unique_ptr<Photographer> photographer;
    std::string photos;
    std::string script;
};

TEST_F(EventChainTest, PhotosReachTheLogEntriesAndTheScript) {
    const Date locked = Date::fromLocalComponents(2012, 1, 31, 23, 59, 50, 0);
    const Date wrong = Date::fromLocalComponents(2012, 1, 31, 23, 59, 59, 123);
    const Date timeout = Date::fromLocalComponents(2012, 2, 1, 0, 0, 30, 456);
    postEvent(kScreenLockedEvent, locked);
    postEvent(kWrongPasswordEvent, wrong, "guess");
    postEvent(kPasswordTimeoutEvent, timeout);
    // The photo arrives on the camera's thread, maybe already now; the
    // script's output below shows it waited for the photo's path.
    ASSERT_EQ(log->logEntryCount(), 3u);

    auto entries = log->logEntries();
    ASSERT_TRUE(env.runLoop().runUntil([&] { return entries[1]->image() && entries[2]->image(); }, 10.0));
    EXPECT_EQ(entries[0]->image()->name(), "NSLockLockedTemplate");
    EXPECT_EQ(entries[1]->image()->name(), "20120131235959123.tiff");
    EXPECT_FALSE(entries[1]->image()->isTemplate());
    EXPECT_EQ(entries[2]->image()->name(), timeout.format(kPhotoTimestampFormat) + ".tiff");

    const std::string photo = photos + "/20120131235959123.tiff";
    ASSERT_TRUE(waitUntil([&] { return platform::FileManager::fileExists(script + ".out"); }));
    EXPECT_EQ(readText(script + ".out"), "20120131235959123\n" + photo + "\n");
    EXPECT_FALSE(readText(photo).empty());
    EXPECT_EQ(scripts->pendingScriptCount(), 0u);

    log->adjustLogWindow();
    const double width = log->window().frame().width;
    EXPECT_EQ(log->window().frame(), (platform::Rect{(1440 - width) / 2, 540 - 30, width, 42 * 3 + 60}));

    auto& thumbnail =
        static_cast<ImageView_MouseOver&>(*log->collectionView().itemAtIndex(1)->viewWithIdentifier("image"));
    thumbnail.mouseDown(platform::Event::ofType(platform::Event::Type::LeftMouseDown));
    const std::string cached = env.home() + "/.cache/com.quillmere.Tarnwick/20120131235959123.tiff";
    EXPECT_EQ(workspace.openedFiles(), std::vector<std::string>{cached});
    EXPECT_EQ(readText(cached), readText(photo));
}

}  // namespace
