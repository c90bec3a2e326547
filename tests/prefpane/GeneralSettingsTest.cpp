#include "PaneTestFixture.h"

#include "platform/foundation/BluetoothDevice.h"
#include "platform/services/CompositorSession.h"
#include "platform/services/LoginItems.h"
#include "prefpane/SliderLabels.h"
#include "shared/SliderCurve.h"
#include "shared/TarnwickPaths.h"

#include <cmath>

namespace panetest {
namespace {

class GeneralSettingsTest : public PaneTest {
protected:
    void SetUp() override {
        PaneTest::SetUp();
        setPassword(kPassword);
        openPane();
        changesBefore = changeCount();
    }
    // One more announcement than before, made after `key` was flushed with `value`.
    void expectAnnounced(const std::string& key, const platform::Value& value) {
        ASSERT_EQ(changeCount(), changesBefore + 1) << key;
        EXPECT_EQ(stored(key), value) << key;
        ASSERT_FALSE(announcements().empty());
        auto it = announcements().back().find(key);
        ASSERT_NE(it, announcements().back().end()) << key << " was announced before it was flushed";
        EXPECT_EQ(it->second, value) << key;
        changesBefore = changeCount();
    }
    void choose(const std::string& popUp, int tag) {
        auto button = control<platform::PopUpButton>(popUp);
        button->userSelected(button->indexOfItemWithTag(tag));
    }
    std::size_t changesBefore = 0;
};

TEST_F(GeneralSettingsTest, EachCheckBoxWritesItsKeyAsABooleanAndAnnouncesIt) {
    const std::vector<std::pair<std::string, const char*>> boxes = {
        {"showInMenu", kPrefShowInMenu},
        {"showLogOnUnlock", kPrefShowLogOnUnlock},
        {"showLogOnUnlockAfterFailedUnlock", kPrefShowLogOnUnlockAfterFailedUnlock},
        {"lockOnStartup", kPrefLockOnStartup},
        {"whiteScreenDelay", kPrefWhiteScreenDelay},
        {"fadingEnabled", kPrefFadingEnabled},
        {"lockOnSleepComputer", kPrefLockOnSleepComputer},
        {"ignoreFirstKey", kPrefIgnoreFirstKey},
    };
    for (const auto& [identifier, key] : boxes) {
        platform::Button& box = button(identifier);
        const bool was = box.state() == 1;
        box.performClick();
        expectAnnounced(key, !was);
        box.performClick();
        expectAnnounced(key, was);
    }
}

TEST_F(GeneralSettingsTest, ShowLogOnUnlockEnablesTheFailedUnlockBoxWithoutChangingIt) {
    button("showLogOnUnlock").performClick();
    EXPECT_FALSE(button("showLogOnUnlockAfterFailedUnlock").isEnabled());
    EXPECT_TRUE(stored(kPrefShowLogOnUnlockAfterFailedUnlock).isNull());
    button("showLogOnUnlock").performClick();
    EXPECT_TRUE(button("showLogOnUnlockAfterFailedUnlock").isEnabled());
}

TEST_F(GeneralSettingsTest, StartAtLoginChangesTheLoginItemsAndAnnouncesNothing) {
    installApplication();
    const std::string application = paneBundlePath() + "/Tarnwick.app";
    auto listed = [&] { return TarnwickPaths::shouldLaunchAtLogin(application); };
    button("startOnLoginCheckbox").performClick();
    EXPECT_TRUE(listed());
    button("startOnLoginCheckbox").performClick();
    EXPECT_FALSE(listed());
    EXPECT_EQ(changeCount(), changesBefore);
    reopenPane();
    EXPECT_EQ(button("startOnLoginCheckbox").state(), 0);
}

TEST_F(GeneralSettingsTest, AnUnknownSenderIsLoggedAndIgnored) {
    platform::Button stranger;
    pane->checkBoxClicked(&stranger);
    pane->checkBoxClicked(nullptr);
    EXPECT_EQ(env.logLinesContaining("Unknown button pressed!").size(), 2u);
    EXPECT_EQ(changeCount(), changesBefore);
}

TEST_F(GeneralSettingsTest, SlidersWriteTheirPositionAndLabelIt) {
    struct Move {
        std::string slider;
        double position;
        const char* key;
        platform::Value written;
        std::string label;
    };
    const std::vector<Move> moves = {
        {"autoActivate", 0.5, kPrefAutoActivate, 0.5f, "off"},
        {"autoActivate", 1, kPrefAutoActivate, 1.0f, "1 minute"},
        {"autoActivate", 92, kPrefAutoActivate, 92.0f, "15 minutes"},
        {"penalty", 0, kPrefPenalty, 0, "off"},
        {"penalty", 1, kPrefPenalty, 1, "1 minute"},
        {"penalty", 7, kPrefPenalty, 7, "7 minutes"},
        {"inputPause", 1, kPrefInputPause, 1, "1 second"},
        {"inputPause", 10, kPrefInputPause, 10, "10 seconds"},
        {"dimScreen", 0, kPrefDimScreen, 0, "off"},
        {"dimScreen", 30, kPrefDimScreen, 30, "30 minutes"},
    };
    for (const Move& move : moves) {
        control<platform::Slider>(move.slider)->userMoved(move.position);
        expectAnnounced(move.key, move.written);
        EXPECT_EQ(text(move.slider + "Label"), move.label) << move.slider << " at " << move.position;
    }
}

// The position whose computed time lies half a minute into minute `minutes`.
float positionShowing(int minutes, double f) {
    return static_cast<float>(5 * std::pow((minutes - 1) * 60.0 + 30, 1 / f));
}

TEST(SliderLabelsTest, InactivityIsWordedInMinutesThenHoursAndMinutes) {
    const double f = std::log10(10800.0) / std::log10(54.0);
    const std::vector<std::pair<int, std::string>> wording = {
        {1, "1 minute"},        {2, "2 minutes"}, {59, "59 minutes"}, {60, "1 hour"},          {61, "1 hour 1 min"},
        {90, "1 hour 30 mins"}, {120, "2 hours"}, {180, "3 hours"},   {182, "3 hours 2 mins"},
    };
    for (const auto& [minutes, label] : wording) {
        const float position = positionShowing(minutes, f);
        ASSERT_EQ(sliderMinutes(position, f), minutes) << "position " << position;
        EXPECT_EQ(inactivityLabel(position, f), label);
    }
    EXPECT_EQ(inactivityLabel(0.99f, f), "off");
    EXPECT_EQ(inactivityLabel(std::nanf(""), f), "off");
    EXPECT_EQ(sliderMinutes(5, f), 1) << "position 5 is one second";
    const std::int32_t atTheTop = sliderMinutes(270, f);
    EXPECT_TRUE(atTheTop == 180 || atTheTop == 181) << "270 is 10800 seconds up to rounding, got " << atTheTop;
    EXPECT_EQ(inactivityLabel(270, f), atTheTop == 180 ? "3 hours" : "3 hours 1 min");
}

TEST_F(GeneralSettingsTest, PopUpsStoreTheChosenTag) {
    choose("lockScreenDelayPopupButton", 30);
    expectAnnounced(kPrefLockScreenDelay, 30);
    choose("dimScreenModePopupButton", 3);
    expectAnnounced(kPrefDimScreenMode, 3);
    choose("threeWrongsPopupButton", 2);
    expectAnnounced(kPrefThreeWrongPasswordsImage, 2);
    choose("saveImagesMode", 2);
    expectAnnounced(kPrefSaveImagesImmediately, true);
    choose("saveImagesMode", 1);
    expectAnnounced(kPrefSaveImagesImmediately, false);

    auto saveMode = control<platform::PopUpButton>("saveImagesMode");
    pane->setSaveImagesType(saveMode.get());
    EXPECT_EQ(changeCount(), changesBefore) << "the pop-up button itself is no choice";
}

TEST_F(GeneralSettingsTest, TheFolderChooserPicksOneFolderStartingAtTheShownOne) {
    const std::string folder = env.home() + "/Pictures";
    openPanels.chooseNext(folder);
    button("chooseSaveImagesPath").performClick();
    const auto shown = openPanels.shown();
    ASSERT_EQ(shown.size(), 1u);
    const platform::OpenPanel& panel = shown.front().panel;
    EXPECT_FALSE(panel.canChooseFiles);
    EXPECT_TRUE(panel.canChooseDirectories);
    EXPECT_FALSE(panel.allowsMultipleSelection);
    EXPECT_TRUE(panel.canCreateDirectories);
    EXPECT_EQ(panel.directory(), env.home() + "/.cache/com.quillmere.Tarnwick");
    EXPECT_EQ(text("saveImagesTo"), "~/Pictures");
    expectAnnounced(kPrefSaveImagesPath, folder);

    openPanels.cancelNext();
    button("chooseSaveImagesPath").performClick();
    EXPECT_EQ(openPanels.shown().back().panel.directory(), folder);
    EXPECT_EQ(changeCount(), changesBefore);
    EXPECT_EQ(text("saveImagesTo"), "~/Pictures");
}

TEST_F(GeneralSettingsTest, ARecordedHotKeyIsStoredInTheCarbonEncodingAndShownAgain) {
    launch();
    auto recorder = control<platform::ShortcutRecorder>("lockScreenHotKeyInput");
    recorder->beginRecording();
    recorder->recordKey(37, platform::Event::Control | platform::Event::Shift);  // Ctrl+Shift+L
    expectAnnounced(kPrefLockScreenHotKeyCode, 37);
    EXPECT_EQ(stored(kPrefLockScreenHotKeyModifiers),
              platform::Value(platform::carbon::controlKey | platform::carbon::shiftKey));
    env.advance(0);
    EXPECT_TRUE(hotKeys.press({37, platform::carbon::controlKey | platform::carbon::shiftKey}))
        << "the application took the new hot key";

    reopenPane();
    recorder = control<platform::ShortcutRecorder>("lockScreenHotKeyInput");
    EXPECT_EQ(recorder->keyCombo(),
              (platform::ShortcutRecorder::KeyCombo{platform::Event::Control | platform::Event::Shift, 37}));
    EXPECT_EQ(control<platform::ShortcutRecorder>("showLogHotKeyInput")->keyCombo().code, -1);

    changesBefore = changeCount();
    recorder->beginRecording();
    recorder->recordKey(platform::keycode::Delete, 0);
    expectAnnounced(kPrefLockScreenHotKeyCode, -1);
    reopenPane();
    EXPECT_EQ(control<platform::ShortcutRecorder>("lockScreenHotKeyInput")->keyCombo().code, -1);
}

// A session whose compositor owns the hot keys and the start at login.
class CompositorOf final : public platform::CompositorSession {
public:
    explicit CompositorOf(platform::Compositor compositor) : compositor_(compositor) { install(this); }
    ~CompositorOf() override { install(nullptr); }
    platform::Compositor compositor() const override { return compositor_; }
    std::string keyName(std::int32_t code) const override { return code == 37 ? "l" : code == 14 ? "e" : ""; }

private:
    platform::Compositor compositor_;
};

// On sway the pages show the lines for its configuration: the recorded hot
// keys (an example before one is recorded) and the start at login, which
// sway leaves to its configuration; elsewhere on Wayland only a hint, and on
// X11 nothing.
TEST_F(GeneralSettingsTest, WhereTheCompositorOwnsHotKeysThePaneShowsTheLinesToAdd) {
    installApplication();
    launch();
    EXPECT_TRUE(control<platform::TextField>("hotKeysCompositorNote")->isHidden());
    EXPECT_TRUE(control<platform::TextField>("loginCompositorNote")->isHidden());
    {
        CompositorOf sway(platform::Compositor::Sway);
        reopenPane();
        EXPECT_FALSE(control<platform::TextField>("hotKeysCompositorNote")->isHidden());
        EXPECT_NE(text("hotKeysCompositorNote").find("\nbindsym Ctrl+Alt+l exec tarnwick-ctl lock"), std::string::npos)
            << text("hotKeysCompositorNote");
        auto recorder = control<platform::ShortcutRecorder>("showLogHotKeyInput");
        recorder->beginRecording();
        recorder->recordKey(14, platform::Event::Control | platform::Event::Shift);
        EXPECT_NE(text("hotKeysCompositorNote").find("\nbindsym Ctrl+Shift+e exec tarnwick-ctl log"), std::string::npos)
            << text("hotKeysCompositorNote");
        EXPECT_FALSE(control<platform::TextField>("loginCompositorNote")->isHidden());
        EXPECT_NE(
            text("loginCompositorNote").find("\nexec " + paneBundlePath() + "/Tarnwick.app/Contents/MacOS/Tarnwick"),
            std::string::npos)
            << text("loginCompositorNote");
    }
    CompositorOf niri(platform::Compositor::OtherWayland);
    reopenPane();
    EXPECT_NE(text("hotKeysCompositorNote").find("Bind a key to \"tarnwick-ctl lock\""), std::string::npos);
    EXPECT_TRUE(control<platform::TextField>("loginCompositorNote")->isHidden());
}

TEST_F(GeneralSettingsTest, TheShowLogRecorderWritesItsOwnKeys) {
    auto recorder = control<platform::ShortcutRecorder>("showLogHotKeyInput");
    recorder->beginRecording();
    recorder->recordKey(1, platform::Event::Command | platform::Event::Option);
    expectAnnounced(kPrefShowLogHotKeyCode, 1);
    EXPECT_EQ(stored(kPrefShowLogHotKeyModifiers),
              platform::Value(platform::carbon::cmdKey | platform::carbon::optionKey));
    EXPECT_TRUE(stored(kPrefLockScreenHotKeyCode).isNull());
}

TEST_F(GeneralSettingsTest, BluetoothOffForgetsTheNameButKeepsTheDevice) {
    auto phone = std::make_shared<platform::BluetoothDevice>("00:1A:7D:DA:71:13", "Phone");
    pane->setBluetoothDevice(phone);
    expectAnnounced(kPrefLockViaBluetooth, true);
    EXPECT_EQ(button("lockViaBluetooth").state(), 1);
    EXPECT_EQ(text("bluetoothDeviceName"), "Phone immediately");
    const platform::Value archive = stored(kPrefBluetoothDevice);
    EXPECT_TRUE(archive.isData());

    button("lockViaBluetooth").performClick();
    expectAnnounced(kPrefLockViaBluetooth, false);
    EXPECT_EQ(text("bluetoothDeviceName"), "");
    EXPECT_EQ(stored(kPrefBluetoothDevice), archive);

    pane->setBluetoothDevice(nullptr);
    EXPECT_EQ(changeCount(), changesBefore + 1) << "a cancelled sheet still announces";
    EXPECT_EQ(stored(kPrefLockViaBluetooth), platform::Value(false));
}

// A screen reader names each slider by its row and each recorder by its purpose.
TEST_F(GeneralSettingsTest, SlidersAndRecordersCarryTheNamesAScreenReaderSays) {
    const std::vector<std::pair<std::string, std::string>> names = {
        {"autoActivate", "Lock after inactivity"},
        {"inputPause", "Time to type the password"},
        {"penalty", "Wait after three wrong passwords"},
        {"dimScreen", "Dim the lock screen after"},
        {"lockScreenHotKeyInput", "Hot key that locks the screen"},
        {"showLogHotKeyInput", "Hot key that shows the event log"},
    };
    for (const auto& [identifier, name] : names)
        EXPECT_EQ(control<platform::View>(identifier)->accessibilityLabel(), name) << identifier;
}

}  // namespace
}  // namespace panetest
