#include "PaneTestFixture.h"

#include "platform/foundation/BluetoothDevice.h"
#include "platform/foundation/KeyedArchive.h"

namespace panetest {
namespace {

class PaneLoadTest : public PaneTest {
protected:
    void expectCheckBoxes(const std::vector<std::pair<std::string, int>>& states) {
        for (const auto& [identifier, state] : states) EXPECT_EQ(button(identifier).state(), state) << identifier;
    }
    int selectedTag(const std::string& identifier) {
        auto item = control<platform::PopUpButton>(identifier)->selectedItem();
        return item ? item->tag() : -1;
    }
    void expectFallbacks() {
        expectCheckBoxes({{"showInDock", 1},
                          {"showInMenu", 1},
                          {"showLogOnUnlock", 1},
                          {"showLogOnUnlockAfterFailedUnlock", 1},
                          {"fadingEnabled", 1},
                          {"whiteScreenDelay", 1},
                          {"lockOnSleepComputer", 1},
                          {"ignoreFirstKey", 0},
                          {"lockOnStartup", 0},
                          {"lockViaBluetooth", 0}});
        EXPECT_FLOAT_EQ(control<platform::Slider>("autoActivate")->floatValue(), 92.0f);
        EXPECT_EQ(text("autoActivateLabel"), "15 minutes");
        EXPECT_EQ(text("penaltyLabel"), "1 minute");
        EXPECT_EQ(text("inputPauseLabel"), "10 seconds");
        EXPECT_EQ(text("dimScreenLabel"), "1 minute");
        EXPECT_EQ(selectedTag("lockScreenDelayPopupButton"), 0);
        EXPECT_EQ(selectedTag("dimScreenModePopupButton"), 1);
        EXPECT_EQ(selectedTag("threeWrongsPopupButton"), 1);
        EXPECT_EQ(selectedTag("saveImagesMode"), 1);
        EXPECT_EQ(text("saveImagesTo"), "~/.cache/com.quillmere.Tarnwick");
        EXPECT_EQ(text("bluetoothDeviceName"), "");
        EXPECT_EQ(control<platform::ShortcutRecorder>("lockScreenHotKeyInput")->keyCombo().code, -1);
    }
    void expectPasswordNotSet() {
        EXPECT_EQ(text("passwordSet"), "Password not set.");
        EXPECT_EQ(control<platform::TextField>("passwordSet")->textColor(), (platform::Color{1, 0, 0, 1}));
        EXPECT_FALSE(button("startStopButton").isEnabled());
        EXPECT_FALSE(button("startOnLoginCheckbox").isEnabled());
    }
};

TEST_F(PaneLoadTest, NothingStoredShowsTheFallbacksAndWritesEachSliderBackWithOneAnnouncement) {
    openPane();
    expectFallbacks();
    expectPasswordNotSet();
    EXPECT_EQ(changeCount(), 4u) << "one per slider";
    ASSERT_EQ(announcements().size(), 4u);
    EXPECT_TRUE(announcements().front().count(kPrefAutoActivate)) << "the file holds the value when it is announced";
    EXPECT_EQ(stored(kPrefAutoActivate).kind(), platform::Value::Kind::Real);
    EXPECT_EQ(stored(kPrefAutoActivate).floatValue(), 92.0f);
    EXPECT_EQ(stored(kPrefInputPause), platform::Value(10));
    EXPECT_EQ(stored(kPrefPenalty), platform::Value(1));
    EXPECT_EQ(stored(kPrefDimScreen), platform::Value(1));
    EXPECT_TRUE(stored(kPrefShowInDock).isNull()) << "check boxes are only shown at load";
}

TEST_F(PaneLoadTest, ValuesOfTheWrongTypeShowTheFallbacksAndSoundValuesAreWrittenBack) {
    for (const char* key : {kPrefShowInDock, kPrefShowInMenu, kPrefShowLogOnUnlock, kPrefFadingEnabled,
                            kPrefLockOnSleepComputer, kPrefWhiteScreenDelay})
        set(key, 0);  // a number is no Boolean
    set(kPrefIgnoreFirstKey, "YES");
    set(kPrefAutoActivate, true);
    set(kPrefPenalty, "7");
    set(kPrefInputPause, platform::Array{});
    set(kPrefDimScreenMode, false);
    set(kPrefSaveImagesPath, 5);
    set(kPrefLockScreenHotKeyCode, "37");
    set(kPrefPassword, 42);
    openPane();
    expectFallbacks();
    expectPasswordNotSet();
    EXPECT_EQ(stored(kPrefPenalty), platform::Value(1));
    EXPECT_EQ(stored(kPrefInputPause), platform::Value(10));
}

TEST_F(PaneLoadTest, StoredSettingsAreShown) {
    setPassword(kPassword);
    set(kPrefShowInDock, false);
    set(kPrefShowLogOnUnlock, false);
    set(kPrefIgnoreFirstKey, true);
    set(kPrefPenalty, 7);
    set(kPrefInputPause, 37.6);  // a real number is truncated
    set(kPrefAutoActivate, 1.0);
    set(kPrefLockScreenDelay, 30);
    set(kPrefDimScreenMode, 2);
    set(kPrefThreeWrongPasswordsImage, 3);
    set(kPrefSaveImagesImmediately, true);
    set(kPrefSaveImagesPath, env.home() + "/Pictures/intruders");
    auto phone = std::make_shared<platform::BluetoothDevice>("00:1A:7D:DA:71:13", "Phone");
    set(kPrefBluetoothDevice, platform::KeyedArchiver::archivedDataWithRootObject(phone));
    set(kPrefLockViaBluetooth, true);
    set(kPrefBluetoothUnlockOnly, true);
    openPane();

    EXPECT_EQ(text("passwordSet"), "Password set.");
    EXPECT_EQ(control<platform::TextField>("passwordSet")->textColor(), platform::Color::black());
    EXPECT_TRUE(button("startStopButton").isEnabled());
    EXPECT_TRUE(button("startOnLoginCheckbox").isEnabled());
    EXPECT_EQ(button("startStopButton").title(), "Start");
    expectCheckBoxes({{"showInDock", 0}, {"showLogOnUnlock", 0}, {"ignoreFirstKey", 1}, {"lockViaBluetooth", 1}});
    EXPECT_FALSE(button("showLogOnUnlockAfterFailedUnlock").isEnabled());
    EXPECT_EQ(text("penaltyLabel"), "7 minutes");
    EXPECT_EQ(text("inputPauseLabel"), "37 seconds");
    EXPECT_EQ(text("autoActivateLabel"), "1 minute");
    EXPECT_EQ(selectedTag("lockScreenDelayPopupButton"), 30);
    EXPECT_EQ(selectedTag("dimScreenModePopupButton"), 2);
    EXPECT_EQ(selectedTag("threeWrongsPopupButton"), 3);
    EXPECT_EQ(selectedTag("saveImagesMode"), 2);
    EXPECT_EQ(text("saveImagesTo"), "~/Pictures/intruders");
    EXPECT_EQ(text("bluetoothDeviceName"), "Phone; for unlocking only");
}

TEST_F(PaneLoadTest, ATagNoItemCarriesSelectsNothingRatherThanAnotherSetting) {
    set(kPrefDimScreenMode, 7);
    openPane();
    EXPECT_EQ(selectedTag("dimScreenModePopupButton"), -1);
}

TEST_F(PaneLoadTest, AStoredPasswordThatIsNoDigestCountsAsNotSet) {
    set(kPrefPassword, "secret");
    openPane();
    expectPasswordNotSet();
    EXPECT_TRUE(pane->currentPasswordDigest().empty()) << "a new password can be set without the unknown old one";
}

TEST_F(PaneLoadTest, ABluetoothDeviceIsShownOnlyWhileLockingByBluetoothIsOn) {
    auto phone = std::make_shared<platform::BluetoothDevice>("00:1A:7D:DA:71:13", "Phone");
    set(kPrefBluetoothDevice, platform::KeyedArchiver::archivedDataWithRootObject(phone));
    set(kPrefLockViaBluetooth, false);
    openPane();
    EXPECT_EQ(button("lockViaBluetooth").state(), 0);
    EXPECT_EQ(text("bluetoothDeviceName"), "");
}

}  // namespace
}  // namespace panetest
