#include "PaneTestFixture.h"

#include "platform/headless/HeadlessCapture.h"
#include "platform/ui/ProgressIndicator.h"

#include <chrono>
#include <thread>

namespace panetest {
namespace {

using platform::headless::HeadlessCapture;

class CameraSelectionTest : public PaneTest {
protected:
    void SetUp() override {
        PaneTest::SetUp();
        setPassword(kPassword);
        platform::Capture::install(&capture);
    }
    void TearDown() override {
        PaneTest::TearDown();
        platform::Capture::install(nullptr);
    }
    // Opens the pane and lets its first camera search end.
    void openAndSearch() {
        openPane();
        waitForSearch();
        changesBefore = changeCount();
    }
    bool searching() const { return control<platform::ProgressIndicator>("videoSearchIndicator")->isAnimating(); }
    // The probe runs on a real thread; the menu is filled on the main one.
    void waitForSearch() {
        for (int i = 0; i < 2000 && searching(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            env.advance(0.05);
        }
        ASSERT_FALSE(searching()) << "the camera search never ended";
        EXPECT_TRUE(button("updateVideoDevicesButton").isEnabled());
        EXPECT_TRUE(control<platform::TextField>("videoSearchInfo")->isHidden());
    }
    platform::PopUpButton& menu() const { return *control<platform::PopUpButton>("videoPopupButton"); }
    std::vector<std::string> titles() const {
        std::vector<std::string> all;
        for (const auto& item : menu().items()) all.push_back(item->title());
        return all;
    }
    std::string selectedTitle() const {
        const auto item = menu().selectedItem();
        return item ? item->title() : "(none)";
    }
    int indexOf(const std::string& title) const {
        const auto all = titles();
        return static_cast<int>(std::find(all.begin(), all.end(), title) - all.begin());
    }
    void store(const std::string& camera) {
        platform::preferences::setAppValue(kPrefVideoCaptureDevice, camera, kBundleName);
        platform::preferences::appSynchronize(kBundleName);
    }

    HeadlessCapture capture;
    std::size_t changesBefore = 0;
};

TEST_F(CameraSelectionTest, EachCameraIsTitledByItsStateAfterDontTakePhotos) {
    capture.addCamera("a", "Front");
    capture.addCamera("b", "Dock")->setConnected(false);
    capture.addCamera("c", "Desk")->setBusy(true);
    capture.addCamera("d", "Broken")->setOpenError("Input/output error");
    capture.addCamera("m", "Muxed", platform::Capture::MediaType::Muxed);
    openAndSearch();
    EXPECT_EQ(titles(), (std::vector<std::string>{"Don't take photos", "Front", "Dock (not connected)", "Desk (busy)",
                                                  "Broken (Input/output error)", "Muxed"}));
    EXPECT_EQ(menu().items()[0]->representedObject(), "");
    EXPECT_EQ(menu().items()[4]->representedObject(), "d");
    for (const char* id : {"a", "c", "m"}) EXPECT_FALSE(capture.camera(id)->isOpen()) << id << " left open";
    EXPECT_EQ(changeCount(), changesBefore);
}

TEST_F(CameraSelectionTest, WithoutCamerasOnlyDontTakePhotosIsLeftAndMarked) {
    openAndSearch();
    EXPECT_EQ(titles(), std::vector<std::string>{"Don't take photos"});
    EXPECT_EQ(menu().items()[0]->state(), 1);
}

TEST_F(CameraSelectionTest, TheStoredCameraIsSelectedAndAMissingOneGivesWayToTheDefault) {
    struct Case {
        std::string stored, selected, storedAfter;
        std::size_t announcements;
    };
    const std::vector<Case> cases = {
        {"c", "Side", "c", 0},
        {"", "Don't take photos", "", 0},
        {"gone", "Front", "a", 1},
    };
    capture.addCamera("a", "Front");
    capture.addCamera("c", "Side");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        store(c.stored);
        closePane();
        openPane();
        const std::size_t before = changeCount();
        waitForSearch();
        EXPECT_EQ(selectedTitle(), c.selected);
        EXPECT_EQ(stored(kPrefVideoCaptureDevice), platform::Value(c.storedAfter));
        EXPECT_EQ(changeCount() - before, c.announcements);
    }
}

TEST_F(CameraSelectionTest, APluggedInCameraRebuildsTheMenuWithoutAClick) {
    capture.addCamera("a", "Front");
    openAndSearch();
    capture.addCamera("e", "External");
    env.advance(0);
    EXPECT_TRUE(searching());
    EXPECT_FALSE(button("updateVideoDevicesButton").isEnabled());
    waitForSearch();
    EXPECT_EQ(titles(), (std::vector<std::string>{"Don't take photos", "Front", "External"}));
}

TEST_F(CameraSelectionTest, OverlappingSearchesLeaveTheNewestList) {
    capture.addCamera("a", "Front");
    openPane();
    pane->updateVideoDevices(nullptr);
    capture.camera("a")->setConnected(false);
    pane->updateVideoDevices(nullptr);
    waitForSearch();
    EXPECT_EQ(titles(), (std::vector<std::string>{"Don't take photos", "Front (not connected)"}));
}

TEST_F(CameraSelectionTest, ChoosingWritesTheIdentifierAndLockFailureOnlyResetsTheMenu) {
    capture.addCamera("a", "Front");
    openAndSearch();
    menu().userSelected(indexOf("Front"));
    EXPECT_EQ(stored(kPrefVideoCaptureDevice), platform::Value("a"));
    EXPECT_EQ(changeCount(), changesBefore + 1);
    EXPECT_EQ(menu().items()[1]->state(), 1);

    center.post(kVideoLockFailedNotification, kBundleName);
    env.advance(0);
    EXPECT_EQ(menu().indexOfSelectedItem(), 0);
    EXPECT_EQ(stored(kPrefVideoCaptureDevice), platform::Value("a")) << "the stored choice stays";

    menu().userSelected(0);
    EXPECT_EQ(stored(kPrefVideoCaptureDevice), platform::Value(""));
    EXPECT_EQ(changeCount(), changesBefore + 2);
    EXPECT_EQ(menu().items()[1]->state(), 0);
}

TEST_F(CameraSelectionTest, ChoosingACameraTheApplicationCannotUseBringsBackDontTakePhotos) {
    capture.addCamera("a", "Front");
    capture.addCamera("b", "Dock")->setConnected(false);
    launch();
    openAndSearch();
    menu().userSelected(indexOf("Front"));
    env.advance(0.5);
    EXPECT_EQ(bus.postedCount(kVideoLockFailedNotification), 0u);
    EXPECT_EQ(selectedTitle(), "Front");

    menu().userSelected(indexOf("Dock (not connected)"));
    env.advance(0.5);
    EXPECT_EQ(bus.postedCount(kVideoLockFailedNotification), 1u);
    EXPECT_EQ(menu().indexOfSelectedItem(), 0);
    EXPECT_EQ(stored(kPrefVideoCaptureDevice), platform::Value("b"));
}

}  // namespace
}  // namespace panetest
