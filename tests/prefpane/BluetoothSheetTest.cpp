#include "PaneTestFixture.h"

#include "platform/foundation/BluetoothDevice.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/headless/HeadlessBluetooth.h"
#include "app/BluetoothController.h"
#include "prefpane/BluetoothDevicePanelController.h"
#include "prefpane/BluetoothPanelInterface.h"

#include <cerrno>

namespace panetest {
namespace {

using Radio = platform::headless::HeadlessBluetooth;

const char* const kPhone = "00:1A:7D:DA:71:13";
const char* const kWatch = "00:1A:7D:DA:71:20";
const char* const kTablet = "00:1A:7D:DA:71:30";

TEST(BluetoothTimeoutTextTest, TheSliderIsWordedFromImmediatelyToHours) {
    const std::vector<std::pair<double, std::string>> cases = {
        {0.4, "immediately"},           {0.7, "after \u00bd minute"},   {5, "after 1 minute"},
        {50, "after 4 minutes"},        {100, "after 18 minutes"},      {200, "after 1 hour 30 mins"},
        {250, "after 2 hours 31 mins"}, {260, "after 2 hours 45 mins"}, {169, "after 1 hour 1 min"},
        {226.5, "after 2 hours"},
    };
    BluetoothDevicePanelController sheet;
    const auto panel = loadBluetoothPanelInterface(sheet);
    auto slider = std::dynamic_pointer_cast<platform::Slider>(panel->contentView()->viewWithIdentifier("timeToLock"));
    auto label =
        std::dynamic_pointer_cast<platform::TextField>(panel->contentView()->viewWithIdentifier("timeToLockLabel"));
    ASSERT_TRUE(slider && label);
    for (const auto& [value, text] : cases) {
        slider->userMoved(value);
        EXPECT_EQ(sheet.timeoutAsString(), text) << value;
        EXPECT_EQ(label->stringValue(), text) << value;
    }
}

class BluetoothSheetTest : public PaneTest {
protected:
    void SetUp() override {
        PaneTest::SetUp();
        platform::Bluetooth::install(&radio);
    }
    void TearDown() override {
        PaneTest::TearDown();
        platform::Bluetooth::install(nullptr);
    }

    static void storeDevice(const std::string& address, const std::string& name) {
        set(kPrefBluetoothDevice, platform::KeyedArchiver::archivedDataWithRootObject(
                                      std::make_shared<platform::BluetoothDevice>(address, name)));
    }

    template <class T>
    std::shared_ptr<T> sheetControl(const std::string& identifier) const {
        auto view = std::dynamic_pointer_cast<T>(pane->bluetoothPanel()->contentView()->viewWithIdentifier(identifier));
        EXPECT_NE(view, nullptr) << "no " << identifier;
        return view;
    }
    platform::PopUpButton& menu() const { return *sheetControl<platform::PopUpButton>("popupButton"); }
    platform::Slider& slider() const { return *sheetControl<platform::Slider>("timeToLock"); }
    platform::Button& sheetButton(const std::string& identifier) const {
        return *sheetControl<platform::Button>(identifier);
    }
    bool spinning() const { return sheetControl<platform::ProgressIndicator>("progressIndicator")->isAnimating(); }

    // Switches Bluetooth on in the pane: the sheet opens and its search runs
    // to its end (5 seconds of the manual clock).
    void openSheetAndSearch() {
        button("lockViaBluetooth").performClick();
        ASSERT_TRUE(env.runLoop().runUntil([this] { return radio.runningSearchCount() == 1; }));
        EXPECT_TRUE(spinning());
        EXPECT_FALSE(sheetButton("okButton").isEnabled());
        EXPECT_EQ(sheetButton("refreshButton").image()->name(), "NSStopProgressFreestandingTemplate");
        env.advance(BluetoothDevicePanelController::kInquiryLength);
        expectIdle();
    }
    void expectIdle() {
        EXPECT_FALSE(spinning());
        EXPECT_TRUE(sheetControl<platform::TextField>("refreshLabel")->isHidden());
        EXPECT_EQ(sheetButton("refreshButton").image()->name(), "NSRefreshFreestandingTemplate");
    }
    std::vector<std::string> titles() const {
        std::vector<std::string> shown;
        for (const auto& item : menu().items()) shown.push_back(item->isSeparatorItem() ? "---" : item->title());
        return shown;
    }

    Radio radio;
};

TEST_F(BluetoothSheetTest, TheStoredDeviceIsListedOnceAndFirstWithASeparatorBeforeTheOthers) {
    storeDevice(kPhone, "Phone");
    radio.addDevice(kWatch, "Watch");
    radio.addDevice(kPhone, "Phone");
    radio.addDevice(kTablet, "Tablet");
    openPane();
    openSheetAndSearch();
    EXPECT_EQ(titles(), (std::vector<std::string>{"Phone", "---", "Watch", "Tablet"}));
    EXPECT_EQ(menu().indexOfSelectedItem(), 0);
    EXPECT_TRUE(menu().isEnabled());
    EXPECT_TRUE(sheetButton("okButton").isEnabled());
    EXPECT_TRUE(env.logged("STARTING BT QUERY"));
    EXPECT_TRUE(env.logged("FINISHED BT QUERY"));

    // Found alone, the stored device needs no separator.
    radio.setResponse(kWatch, Radio::Response::Silent);
    radio.setResponse(kTablet, Radio::Response::Silent);
    sheetButton("refreshButton").performClick();
    ASSERT_TRUE(env.runLoop().runUntil([this] { return radio.runningSearchCount() == 1; }));
    EXPECT_EQ(titles(), (std::vector<std::string>{"Phone"}));
    EXPECT_FALSE(menu().isEnabled());
    env.advance(BluetoothDevicePanelController::kInquiryLength);
    EXPECT_EQ(titles(), (std::vector<std::string>{"Phone"}));
    expectIdle();
}

TEST_F(BluetoothSheetTest, TheStoredTimeoutIsRestoredWholeAndUnlockOnlyDisablesTheSlider) {
    set(kPrefBluetoothTimeout, 37.6);
    set(kPrefBluetoothUnlockOnly, true);
    openPane();
    EXPECT_EQ(slider().doubleValue(), 37);
    EXPECT_FALSE(slider().isEnabled());
    EXPECT_EQ(sheetButton("unlockOnly").state(), 1);
    sheetButton("unlockOnly").performClick();
    EXPECT_TRUE(slider().isEnabled());
    sheetButton("unlockOnly").performClick();
    EXPECT_FALSE(slider().isEnabled());
}

TEST_F(BluetoothSheetTest, OkStoresTheChoiceAndThePaneShowsItWithTheTimeout) {
    radio.addDevice(kWatch, "Watch");
    openPane();
    openSheetAndSearch();
    slider().userMoved(50);
    const std::size_t changesBefore = changeCount();
    sheetButton("okButton").performClick();

    EXPECT_EQ(stored(kPrefBluetoothTimeout), platform::Value(50.0f));
    EXPECT_EQ(stored(kPrefBluetoothUnlockOnly), platform::Value(false));
    EXPECT_EQ(stored(kPrefLockViaBluetooth), platform::Value(true));
    const auto device = platform::KeyedUnarchiver::unarchiveObjectWithData(stored(kPrefBluetoothDevice).dataValue());
    ASSERT_NE(std::dynamic_pointer_cast<platform::BluetoothDevice>(device), nullptr);
    EXPECT_EQ(std::dynamic_pointer_cast<platform::BluetoothDevice>(device)->getAddressString(), kWatch);
    EXPECT_GT(changeCount(), changesBefore);
    ASSERT_FALSE(announcements().empty());
    EXPECT_EQ(announcements().back().at(kPrefBluetoothTimeout), platform::Value(50.0f)) << "announced before flushed";
    EXPECT_EQ(button("lockViaBluetooth").state(), 1);
    EXPECT_EQ(text("bluetoothDeviceName"), "Watch after 4 minutes");
    EXPECT_FALSE(pane->bluetoothPanel()->isVisible());

    // Unlocking only: the label says so instead of the time.
    button("lockViaBluetooth").performClick();
    openSheetAndSearch();
    sheetButton("unlockOnly").performClick();
    sheetButton("okButton").performClick();
    EXPECT_EQ(stored(kPrefBluetoothUnlockOnly), platform::Value(true));
    EXPECT_EQ(text("bluetoothDeviceName"), "Watch; for unlocking only");
}

// The pane and the running application on one bus: the device chosen in the
// sheet is the one whose absence locks the screen.
TEST_F(BluetoothSheetTest, TheDeviceChosenInTheSheetIsTheOneTheApplicationWatches) {
    radio.addDevice(kPhone, "Phone");
    radio.addDevice(kWatch, "Watch");
    setPassword(kPassword);
    launch();
    ASSERT_NE(app->proximityMonitor(), nullptr);
    openPane();
    openSheetAndSearch();
    ASSERT_EQ(menu().numberOfItems(), 2);
    menu().userSelected(menu().items()[1]->title() == "Watch" ? 1 : 0);
    slider().userMoved(0.7);  // half a minute
    sheetButton("okButton").performClick();
    env.advance(12);
    ASSERT_EQ(app->proximityMonitor()->secondsUntilLock(), 30);

    radio.setResponse(kPhone, Radio::Response::Silent);
    env.advance(48);
    EXPECT_EQ(app->lockState(), LockState::Unlocked) << "the phone was not chosen";
    radio.setResponse(kWatch, Radio::Response::Silent);
    env.advance(48);
    EXPECT_EQ(app->lockState(), LockState::Locked) << "the watch went away";
}

TEST_F(BluetoothSheetTest, CancelWritesNothingAndSwitchesTheBoxOff) {
    radio.addDevice(kWatch, "Watch");
    openPane();
    const platform::Dictionary before = storedFile();
    const std::size_t changesBefore = changeCount();
    button("lockViaBluetooth").performClick();
    ASSERT_TRUE(env.runLoop().runUntil([this] { return radio.runningSearchCount() == 1; }));
    sheetButton("cancelButton").performClick();
    EXPECT_EQ(radio.runningSearchCount(), 0u) << "the search goes with the sheet";
    env.advance(BluetoothDevicePanelController::kInquiryLength);
    expectIdle();
    EXPECT_EQ(storedFile(), before);
    EXPECT_EQ(changeCount(), changesBefore + 1) << "a cancelled sheet still announces";
    EXPECT_EQ(button("lockViaBluetooth").state(), 0);
    EXPECT_EQ(text("bluetoothDeviceName"), "");
    EXPECT_FALSE(pane->bluetoothPanel()->isVisible());
}

TEST_F(BluetoothSheetTest, WithoutAWorkingRadioTheSheetSaysWhyAndNothingCanBeStored) {
    struct Case {
        Radio::Controller controller;
        int refusal;
        std::string said;
    };
    const std::vector<Case> cases = {
        {Radio::Controller::Off, 0, "Bluetooth is switched off."},
        {Radio::Controller::Absent, 0, "No Bluetooth adapter was found."},
        {Radio::Controller::On, EPERM, "Tarnwick is not allowed to use the Bluetooth adapter."},
    };
    for (const auto& [controller, refusal, said] : cases) {
        radio.setController(controller);
        radio.refuseSearches(refusal);
        radio.addDevice(kWatch, "Watch");
        openPane();
        const platform::Dictionary before = storedFile();
        button("lockViaBluetooth").performClick();
        ASSERT_TRUE(env.runLoop().runUntil(
            [this] { return radio.runningSearchCount() == 1 || env.logged("FINISHED BT QUERY"); }));
        env.advance(BluetoothDevicePanelController::kInquiryLength);
        expectIdle();
        EXPECT_TRUE(titles().empty());
        EXPECT_EQ(sheetControl<platform::TextField>("searchOutcomeLabel")->stringValue(), said);
        EXPECT_FALSE(sheetControl<platform::TextField>("searchOutcomeLabel")->isHidden());
        EXPECT_FALSE(sheetButton("okButton").isEnabled());
        EXPECT_FALSE(menu().isEnabled());
        sheetButton("okButton").performClick();
        EXPECT_EQ(storedFile(), before);
        closePane();
        env.clearLog();
    }
}

TEST_F(BluetoothSheetTest, ADeviceTheRadioReportsIsListedWithNothingToExplain) {
    radio.addDevice(kWatch, "Watch");
    openPane();
    openSheetAndSearch();
    EXPECT_EQ(titles(), std::vector<std::string>{"Watch"});
    EXPECT_TRUE(sheetControl<platform::TextField>("searchOutcomeLabel")->isHidden());
    radio.setResponse(kWatch, Radio::Response::Silent);
    sheetButton("refreshButton").performClick();
    ASSERT_TRUE(env.runLoop().runUntil([this] { return radio.runningSearchCount() == 1; }));
    env.advance(BluetoothDevicePanelController::kInquiryLength);
    EXPECT_EQ(sheetControl<platform::TextField>("searchOutcomeLabel")->stringValue(), "No devices were found nearby.");
}

TEST_F(BluetoothSheetTest, ClosingThePaneDuringASearchEndsItWithoutCallingBack) {
    radio.addDevice(kWatch, "Watch");
    openPane();
    button("lockViaBluetooth").performClick();
    ASSERT_TRUE(env.runLoop().runUntil([this] { return radio.runningSearchCount() == 1; }));
    closePane();
    EXPECT_EQ(radio.runningSearchCount(), 0u);
    env.advance(BluetoothDevicePanelController::kInquiryLength + 1);
    EXPECT_FALSE(env.logged("FINISHED BT QUERY"));
}

}  // namespace
}  // namespace panetest
