#include "LogTestSupport.h"

#include "app/ImageView_MouseOver.h"
#include "app/LogController.h"
#include "app/LogItem.h"
#include "platform/foundation/Defaults.h"
#include "platform/headless/HeadlessDisplays.h"
#include "platform/services/Workspace.h"
#include "platform/ui/Event.h"
#include "platform/ui/TextField.h"
#include "shared/QMASL.h"

#include <gtest/gtest.h>

using namespace logtest;
using platform::Date;
using platform::Defaults;

namespace {

// Remembers which application each file was to be opened with.
class RecordingWorkspace : public platform::Workspace {
public:
    bool openFile(const std::string& path, const std::string& application) override {
        opened.emplace_back(path, application);
        return true;
    }
    bool launchApplication(const std::string&, ExitObserver) override { return true; }
    void observeSleep(const void*, Observer, Observer) override {}
    void removeSleepObserver(const void*) override {}
    std::vector<std::pair<std::string, std::string>> opened;
};

class LogControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        qmasl::resetLevelForTesting(7);
        platform::Displays::install(&displays);
        platform::Workspace::install(&workspace);
        auto& defaults = Defaults::standard();
        for (const char* stem :
             {"screenLocked", "screenUnlocked", "wrongPassword", "threeWrongPassword", "passwordTimeout"}) {
            defaults.setObject(true, std::string(stem) + ".log");
            defaults.setObject(false, std::string(stem) + ".log.photo");
        }
        defaults.setObject("", kPrefVideoCaptureDevice);
        log = std::make_shared<LogController>(&delegate);
    }
    void TearDown() override {
        log.reset();
        platform::Workspace::install(nullptr);
        platform::Displays::install(nullptr);
        qmasl::resetLevelForTesting(-1);
    }

    void wantPhotos(const char* stem) {
        Defaults::standard().setObject(true, std::string(stem) + ".log.photo");
        Defaults::standard().setObject("0x1a11000005ac8509", kPrefVideoCaptureDevice);
    }
    std::shared_ptr<LogItem> entry(std::size_t i) { return log->logEntries().at(i); }
    platform::View& row(std::size_t i) { return *log->collectionView().itemAtIndex(i); }
    std::string rowText(std::size_t i, const char* field) {
        return std::static_pointer_cast<platform::TextField>(row(i).viewWithIdentifier(field))->stringValue();
    }
    ImageView_MouseOver& rowImage(std::size_t i) {
        return *std::static_pointer_cast<ImageView_MouseOver>(row(i).viewWithIdentifier("image"));
    }

    platform::headless::HeadlessEnvironment env;
    platform::headless::HeadlessDisplays displays{1};
    RecordingWorkspace workspace;
    FakeDelegate delegate;
    std::shared_ptr<LogController> log;
    const Date t1 = Date::fromLocalComponents(2012, 1, 31, 23, 59, 59, 123);
    const Date t2 = Date::fromLocalComponents(2012, 2, 1, 0, 0, 5, 7);
};

TEST_F(LogControllerTest, EachEventGetsItsMessageAndTemplateIcon) {
    postEvent(kScreenLockedEvent, t1);
    postEvent(kWrongPasswordEvent, t1, "hunter2");
    postEvent(kThreeWrongPasswordEvent, t1, "hunter3");
    postEvent(kPasswordTimeoutEvent, t1);
    postEvent(kScreenUnlockedEvent, t2);
    postEvent("com.quillmere.Tarnwick.somethingElse", t2);

    ASSERT_EQ(log->logEntryCount(), 5u);
    const std::vector<std::pair<std::string, std::string>> expected{
        {"Screen locked", "NSLockLockedTemplate"},          {"Invalid password entered: ******", "hand 18x18"},
        {"Invalid password entered: ******", "hand 18x18"}, {"Password was not entered in time", "clock"},
        {"Screen unlocked", "NSLockUnlockedTemplate"},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(entry(i)->message(), expected[i].first);
        ASSERT_TRUE(entry(i)->image());
        EXPECT_EQ(entry(i)->image()->name(), expected[i].second);
        EXPECT_TRUE(entry(i)->image()->isTemplate());
    }
    EXPECT_EQ(entry(1)->invalidPassword(), std::optional<std::string>("hunter2"));
    EXPECT_FALSE(entry(0)->invalidPassword());
    EXPECT_FALSE(log->clearButton().isHidden());
    EXPECT_EQ(env.logLinesContaining("LogHandler got event").size(), 5u);
}

TEST_F(LogControllerTest, RowsShowTheLocaleDateTimeAndMessage) {
    postEvent(kPasswordTimeoutEvent, t1);
    ASSERT_EQ(log->collectionView().itemCount(), 1u);
    EXPECT_EQ(entry(0)->dateAsString(), "01/31/12");
    EXPECT_EQ(entry(0)->timeAsString(), "23:59:59");
    EXPECT_EQ(rowText(0, "date"), "01/31/12");
    EXPECT_EQ(rowText(0, "time"), "23:59:59");
    EXPECT_EQ(rowText(0, "message"), "Password was not entered in time");
    EXPECT_EQ(rowImage(0).imageName(), "clock");
}

TEST_F(LogControllerTest, EventWithoutTimestampGivesAnEntryWithoutDateThatNeverTakesAPhoto) {
    wantPhotos("passwordTimeout");
    postEvent(kPasswordTimeoutEvent, {});
    ASSERT_EQ(log->logEntryCount(), 1u);
    EXPECT_EQ(entry(0)->dateAsString(), "");
    postPhoto(kPasswordTimeoutEvent, t1, makePhoto(t1));
    platform::NotificationCenter::defaultCenter().post(kPhotoReadyNotification, {}, {});
    EXPECT_FALSE(entry(0)->image());
}

TEST_F(LogControllerTest, LogKeyOffAddsNothingButWrongPasswordsStillRevealTheCheckbox) {
    Defaults::standard().setObject(false, "wrongPassword.log");
    Defaults::standard().setObject(false, "screenLocked.log");
    postEvent(kScreenLockedEvent, t1);
    EXPECT_TRUE(log->showPasswords().isHidden());
    postEvent(kWrongPasswordEvent, t1, "guess");
    EXPECT_EQ(log->logEntryCount(), 0u);
    EXPECT_FALSE(log->showPasswords().isHidden());
    EXPECT_TRUE(log->clearButton().isHidden());
}

TEST_F(LogControllerTest, PhotoWantedButNoCameraOrAsleepGivesTheIconAtOnce) {
    Defaults::standard().setObject(true, "wrongPassword.log.photo");
    postEvent(kWrongPasswordEvent, t1, "a");
    ASSERT_TRUE(entry(0)->image());
    EXPECT_EQ(entry(0)->image()->name(), "hand 18x18");

    wantPhotos("wrongPassword");
    delegate.asleep = true;
    postEvent(kWrongPasswordEvent, t2, "b");
    ASSERT_TRUE(entry(1)->image());
    EXPECT_EQ(entry(1)->image()->name(), "hand 18x18");

    // Neither entry waits: a photo with their time stamps changes nothing.
    postPhotoFromCameraThread(env, kWrongPasswordEvent, t2, makePhoto(t2));
    EXPECT_EQ(entry(1)->image()->name(), "hand 18x18");
}

TEST_F(LogControllerTest, EachEntryTakesOnlyThePhotoWithItsOwnTimestamp) {
    wantPhotos("wrongPassword");
    wantPhotos("passwordTimeout");
    postEvent(kWrongPasswordEvent, t1, "x");
    postEvent(kPasswordTimeoutEvent, t2);
    EXPECT_FALSE(entry(0)->image());
    EXPECT_FALSE(entry(1)->image());

    auto photo2 = makePhoto(t2);
    postPhotoFromCameraThread(env, kPasswordTimeoutEvent, t2, photo2);
    EXPECT_FALSE(entry(0)->image());
    EXPECT_EQ(entry(1)->image(), photo2);
    EXPECT_EQ(rowImage(1).image(), photo2);
    EXPECT_EQ(rowImage(1).toolTip(), "Click to open image in Preview.app");

    auto photo1 = makePhoto(t1);
    postPhotoFromCameraThread(env, kWrongPasswordEvent, t1, photo1);
    EXPECT_EQ(entry(0)->image(), photo1);

    // One photo at most: a later frame for the same event is not taken.
    postPhotoFromCameraThread(env, kWrongPasswordEvent, t1, makePhoto(t1, 10));
    EXPECT_EQ(entry(0)->image(), photo1);
}

TEST_F(LogControllerTest, ForeignNotificationWithTheSameTimestampIsIgnored) {
    wantPhotos("screenLocked");
    postEvent(kScreenLockedEvent, t1);
    auto item = entry(0);
    item->photoReady(std::make_shared<platform::Notification>(
        "org.example.photoReadyNotification", platform::Value(),
        platform::Dictionary{{"timestamp", t1}, {"image", platform::Value(makePhoto(t1))}}));
    EXPECT_FALSE(item->image());
}

TEST_F(LogControllerTest, CheckboxShowsAndMasksOnlyWrongPasswordEntries) {
    postEvent(kWrongPasswordEvent, t1, "hunter2");
    postEvent(kScreenLockedEvent, t1);
    postEvent(kThreeWrongPasswordEvent, t2, "");

    log->showPasswords().performClick();
    EXPECT_EQ(entry(0)->message(), "Invalid password entered: hunter2");
    EXPECT_EQ(rowText(0, "message"), "Invalid password entered: hunter2");
    EXPECT_EQ(entry(1)->message(), "Screen locked");
    EXPECT_EQ(entry(2)->message(), "Invalid password entered: ");

    // An entry arriving while the box is on comes masked.
    postEvent(kWrongPasswordEvent, t2, "late");
    EXPECT_EQ(entry(3)->message(), "Invalid password entered: ******");

    log->showPasswords().performClick();
    for (std::size_t i : {0u, 2u, 3u}) EXPECT_EQ(entry(i)->message(), "Invalid password entered: ******");
    EXPECT_EQ(entry(1)->message(), "Screen locked");

    log->showPasswords().setState(-1);
    log->showPasswordsChanged(&log->showPasswords());
    EXPECT_EQ(entry(0)->message(), "Invalid password entered: ******");
}

TEST_F(LogControllerTest, BecomingKeyTurnsTheCheckboxOffAndLeavesMessages) {
    postEvent(kWrongPasswordEvent, t1, "pw");
    log->showPasswords().performClick();
    log->window().makeKeyAndOrderFront();
    EXPECT_EQ(log->showPasswords().state(), 0);
    EXPECT_EQ(entry(0)->message(), "Invalid password entered: pw");
}

TEST_F(LogControllerTest, WindowHeightFollowsTheEntriesAndSitsAtThreeFifths) {
    const double width = log->window().frame().width;
    log->adjustLogWindow();
    EXPECT_EQ(log->window().frame(), (platform::Rect{(1440 - width) / 2, 900 * 3.0 / 5 - 60.0 / 2, width, 60}));

    for (int i = 0; i < 5; ++i) postEvent(kScreenLockedEvent, Date::fromSeconds(1e9 + i));
    log->adjustLogWindow();
    // Placed by the height it had before the change.
    EXPECT_EQ(log->window().frame(), (platform::Rect{(1440 - width) / 2, 540 - 30, width, 270}));
    EXPECT_EQ(log->collectionView().frame().height, 210);
    EXPECT_EQ(log->collectionView().itemAtIndex(0)->frame().y, 168);

    log->adjustLogWindow();
    EXPECT_EQ(log->window().frame().y, 540 - 135);
}

TEST_F(LogControllerTest, WithoutDisplayServiceACommonScreenIsAssumed) {
    platform::Displays::install(nullptr);
    log->adjustLogWindow();
    const double width = log->window().frame().width;
    EXPECT_EQ(log->window().frame(), (platform::Rect{(1920 - width) / 2, 1080 * 3.0 / 5 - 30, width, 60}));
}

TEST_F(LogControllerTest, ResetEmptiesTheLogAndClosesTheWindow) {
    postEvent(kWrongPasswordEvent, t1, "pw");
    log->window().makeKeyAndOrderFront();
    int hidePosts = 0;
    platform::ObjectRef hideSender;
    int marker = 0;
    platform::NotificationCenter::defaultCenter().addObserver(&marker, "hidePreviewPanel", {},
                                                              [&](const platform::NotificationRef& note) {
                                                                  ++hidePosts;
                                                                  hideSender = note->object().objectValue();
                                                              });

    log->clearButton().performClick();
    platform::NotificationCenter::defaultCenter().removeObserver(&marker);

    EXPECT_EQ(log->logEntryCount(), 0u);
    EXPECT_EQ(log->collectionView().itemCount(), 0u);
    EXPECT_TRUE(log->clearButton().isHidden());
    EXPECT_TRUE(log->showPasswords().isHidden());
    EXPECT_FALSE(log->window().isVisible());
    EXPECT_EQ(hidePosts, 1);
    EXPECT_EQ(hideSender.get(), log.get());
    EXPECT_EQ(delegate.restores.load(), 1);
}

TEST_F(LogControllerTest, ReleasingEntriesWhilePhotosArriveIsSafe) {
    wantPhotos("wrongPassword");
    for (int round = 0; round < 30; ++round) {
        const Date stamp = Date::fromSeconds(1.3e9 + round);
        postEvent(kWrongPasswordEvent, stamp, "pw");
        std::atomic<bool> done{false};
        std::thread camera([&] {
            postPhoto(kWrongPasswordEvent, stamp, makePhoto(stamp));
            done.store(true);
        });
        log->reset(nullptr);
        env.runLoop().runUntil([&] { return done.load(); }, 10.0);
        camera.join();
        EXPECT_EQ(log->logEntryCount(), 0u);
    }
}

class ThumbnailTest : public LogControllerTest {
protected:
    void SetUp() override {
        LogControllerTest::SetUp();
        wantPhotos("wrongPassword");
        postEvent(kWrongPasswordEvent, t1, "pw");
        postEvent(kScreenLockedEvent, t2);
        postPhotoFromCameraThread(env, kWrongPasswordEvent, t1, makePhoto(t1));
        log->adjustLogWindow();
        log->window().makeKeyAndOrderFront();
    }
    const platform::EventRef mouse = platform::Event::ofType(platform::Event::Type::LeftMouseDown);
};

TEST_F(ThumbnailTest, HoveringAPhotoShowsTheLargePreviewBesideIt) {
    ImageView_MouseOver& thumb = rowImage(0);
    ASSERT_TRUE(thumb.previewWindow());
    EXPECT_EQ(thumb.previewWindow()->alphaValue(), 0);
    ASSERT_EQ(thumb.trackingRects().size(), 1u);

    const platform::Point origin = thumb.previewOrigin();
    const platform::Rect window = log->window().frame();
    // Right edge of the thumbnail, level with it, on the screen.
    EXPECT_EQ(origin.x, window.x + thumb.convertPointToWindow({0, 0}).x + thumb.frame().width);
    EXPECT_EQ(origin.y, window.y + thumb.convertPointToWindow({0, 0}).y);

    thumb.mouseEntered(mouse);
    EXPECT_EQ(log->window().firstResponder(), &thumb);
    EXPECT_EQ(thumb.previewWindow()->frame(), (platform::Rect{origin.x, origin.y, 320, 240}));
    EXPECT_EQ(thumb.previewWindow()->alphaValue(), 1.0);
    EXPECT_TRUE(thumb.previewWindow()->isFloatingPanel());
    EXPECT_EQ(thumb.previewWindow()->styleMask(), platform::Panel::Borderless);

    thumb.mouseExited(mouse);
    EXPECT_EQ(thumb.previewWindow()->alphaValue(), 0);
    EXPECT_EQ(thumb.previewWindow()->frame(), (platform::Rect{origin.x, origin.y, 32, 32}));
    EXPECT_EQ(log->window().firstResponder(), &log->window());
}

TEST_F(ThumbnailTest, ClosingTheLogHidesAnOpenPreview) {
    ImageView_MouseOver& thumb = rowImage(0);
    thumb.mouseEntered(mouse);
    log->window().performClose();
    EXPECT_EQ(thumb.previewWindow()->alphaValue(), 0);
}

TEST_F(ThumbnailTest, IconsHaveNoTipNoPreviewAndIgnoreClicks) {
    ImageView_MouseOver& icon = rowImage(1);
    EXPECT_EQ(icon.toolTip(), "");
    icon.mouseEntered(mouse);
    EXPECT_EQ(icon.previewWindow()->alphaValue(), 0);
    icon.mouseDown(mouse);
    EXPECT_TRUE(workspace.opened.empty());
}

TEST_F(ThumbnailTest, ClickingAPhotoOpensItsTiffFromTheCachesFolder) {
    rowImage(0).mouseDown(mouse);
    const std::string path = env.home() + "/.cache/com.quillmere.Tarnwick/20120131235959123.tiff";
    ASSERT_EQ(workspace.opened.size(), 1u);
    EXPECT_EQ(workspace.opened[0], (std::pair<std::string, std::string>{path, "Preview"}));
    const std::string tiff = readText(path);
    ASSERT_GE(tiff.size(), 4u);
    EXPECT_TRUE(tiff.compare(0, 4, std::string("II*\0", 4)) == 0 || tiff.compare(0, 4, std::string("MM\0*", 4)) == 0);
}

}  // namespace
