#include "prefpane/PreferenceController.h"

#include "platform/foundation/BluetoothDevice.h"
#include "platform/foundation/Defaults.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/PreferencesDomain.h"
#include "platform/foundation/RunLoop.h"
#include "platform/services/Capture.h"
#include "platform/services/Channel.h"
#include "platform/ui/Alert.h"
#include "prefglue/PrefGlue.h"
#include "prefpane/BluetoothDevicePanelController.h"
#include "prefpane/ExceptionsPanelController.h"
#include "prefpane/PreferencePaneInterface.h"
#include "prefpane/SliderLabels.h"
#include "shared/InputField.h"
#include "shared/PasswordDigest.h"
#include "shared/SliderCurve.h"
#include "shared/TarnwickConstants.h"
#include "shared/TarnwickPaths.h"

namespace {

const platform::Color kRed{1, 0, 0, 1};

constexpr const char* kWhyNotWritten = " (the disk may be full, or the folder read-only).";

// The settings file as the user finds it: the home folder as a tilde.
std::string settingsFileShown(const std::string& appID) {
    return platform::paths::abbreviateWithTilde(platform::PreferencesDomain::pathForIdentifier(appID));
}

// The photo folder the application uses while none is stored.
std::string defaultSaveImagesPath() {
    return platform::paths::appendComponent(platform::paths::expandTilde(platform::paths::cachesDirectory()),
                                            kBundleName);
}

}  // namespace

PreferenceController::PreferenceController(platform::Bundle bundle) : platform::PreferencePane(std::move(bundle)) {
    appID_ = kBundleName;
    wantRestart = false;
    setupApplicationListener();
    f = sliderCurveExponent();
}

PreferenceController::~PreferenceController() {
    alive_->store(false);
    // The listener lives as long as the pane; the pane goes now.
    if (platform::DistributedNotificationCenter::isInstalled()) stopApplicationListener();
    waitForStopThreads();
    for (const platform::TimerRef& timer : pendingPerforms_) timer->invalidate();
    if (videoSearchPoll_) videoSearchPoll_->invalidate();
    if (platform::Capture::isInstalled()) platform::Capture::shared().removeDeviceObserver(this);
    if (passwordPanel) passwordPanel->setDelegate(nullptr);
    // A search's thread may hold the Bluetooth sheet's controller a moment
    // longer than the pane lives; it must not call back into the pane.
    if (bluetoothPanel_) bluetoothPanel_->setDelegate(nullptr);
    if (bluetoothDevicePanelController) {
        bluetoothDevicePanelController->abandonSearch();
        bluetoothDevicePanelController->setPreferencesController(nullptr);
    }
    if (exceptionsPanel) exceptionsPanel->setDelegate(nullptr);
    if (exceptionsPanelController) exceptionsPanelController->setPreferencesController(nullptr);
}

const std::string& PreferenceController::appIDOf(const PreferenceController* controller) {
    static const std::string application = kBundleName;
    return controller ? controller->appID() : application;
}

platform::ViewRef PreferenceController::assignMainView() { return loadPreferencePaneInterface(*this); }

const std::vector<PreferenceController::CheckBoxSetting>& PreferenceController::checkBoxSettings() {
    static const std::vector<CheckBoxSetting> settings = {
        {&PreferenceController::showInDock, kPrefShowInDock, true},
        {&PreferenceController::showInMenu, kPrefShowInMenu, true},
        {&PreferenceController::showLogOnUnlock, kPrefShowLogOnUnlock, true},
        {&PreferenceController::showLogOnUnlockAfterFailedUnlock, kPrefShowLogOnUnlockAfterFailedUnlock, true},
        {&PreferenceController::fadingEnabled, kPrefFadingEnabled, true},
        {&PreferenceController::whiteScreenDelay, kPrefWhiteScreenDelay, true},
        {&PreferenceController::lockOnSleepComputer, kPrefLockOnSleepComputer, true},
        {&PreferenceController::ignoreFirstKey, kPrefIgnoreFirstKey, false},
        {&PreferenceController::lockOnStartup, kPrefLockOnStartup, false},
    };
    return settings;
}

const std::vector<PreferenceController::SliderSetting>& PreferenceController::sliderSettings() {
    // The dim slider comes last: a slider that is none of the others is taken for it.
    static const std::vector<SliderSetting> settings = {
        {&PreferenceController::autoActivate, &PreferenceController::autoActivateLabel, kPrefAutoActivate, 92.0,
         nullptr},
        {&PreferenceController::penalty, &PreferenceController::penaltyLabel, kPrefPenalty, 1, "minute"},
        {&PreferenceController::inputPause, &PreferenceController::inputPauseLabel, kPrefInputPause, 10, "second"},
        {&PreferenceController::dimScreen, &PreferenceController::dimScreenLabel, kPrefDimScreen, 1, "minute"},
    };
    return settings;
}

void PreferenceController::mainViewDidLoad() {
    contentView = mainView();
    for (const auto& field : {oldPassword, newPassword, newPasswordRepeat})
        if (field) field->setAllowResign(true);
    updateVideoDevices(nullptr);
    setupStartStopButton();
    if (startOnLoginCheckbox)
        startOnLoginCheckbox->setState(TarnwickPaths::shouldLaunchAtLogin(TarnwickPaths::pathToApplication()) ? 1 : 0);
    readPasswordState();
    // Writing back what was read fails only where every write would: said once.
    loading_ = true;
    readSettingsIntoControls();
    loading_ = false;
    for (const auto& table : {events, actions})
        if (table) table->reloadData();
    if (lockScreenHotKeyInput) readHotKeyDefaultsFor(*lockScreenHotKeyInput);
    if (showLogHotKeyInput) readHotKeyDefaultsFor(*showLogHotKeyInput);
    showCompositorNotes();
    // Said once the window is up.
    if (unsavedSettings_) performOnMainThread([this] { alertSettingsNotSaved(appID_); });
}

void PreferenceController::readPasswordState() {
    const platform::Value stored = platform::preferences::copyAppValue(kPrefPassword, appID_);
    // A stored value that is no digest could never be typed: the pane lets
    // the user set a new password without it, as the application ignores it.
    const auto digest = stored.isString() ? password_digest::normalised(stored.stringValue()) : std::nullopt;
    if (digest) {
        currentPasswordMd5 = *digest;
        showPasswordState("Password set.", platform::Color::black(), true);
    } else {
        currentPasswordMd5.clear();
        showPasswordState("Password not set.", kRed, false);
    }
}

void PreferenceController::showPasswordState(const std::string& text, const platform::Color& colour,
                                             bool passwordIsSet) {
    if (passwordSet) {
        passwordSet->setStringValue(text);
        passwordSet->setTextColor(colour);
    }
    if (startStopButton) startStopButton->setEnabled(passwordIsSet);
    if (startOnLoginCheckbox) startOnLoginCheckbox->setEnabled(passwordIsSet);
}

void PreferenceController::readSettingsIntoControls() {
    if (lockScreenDelayPopupButton)
        lockScreenDelayPopupButton->selectItemWithTag(
            static_cast<int>(PreferencesIntegerValue(kPrefLockScreenDelay, 0, appID_)));
    for (const SliderSetting& setting : sliderSettings()) {
        platform::Slider* slider = (this->*setting.slider).get();
        if (!slider) continue;
        if (setting.unit)
            slider->setIntValue(static_cast<int>(
                PreferencesIntegerValue(setting.key, static_cast<std::int64_t>(setting.fallback), appID_)));
        else
            slider->setFloatValue(PreferencesFloatValue(setting.key, static_cast<float>(setting.fallback), appID_));
        sliderMoved(slider);
    }
    for (const CheckBoxSetting& setting : checkBoxSettings())
        if (platform::Button* box = (this->*setting.box).get())
            box->setState(PreferencesBoolValue(setting.key, setting.fallback, appID_) ? 1 : 0);
    if (showLogOnUnlockAfterFailedUnlock && showLogOnUnlock)
        showLogOnUnlockAfterFailedUnlock->setEnabled(showLogOnUnlock->state() == 1);
    if (dimScreenModePopupButton)
        dimScreenModePopupButton->selectItemWithTag(
            static_cast<int>(PreferencesIntegerValue(kPrefDimScreenMode, 1, appID_)));
    if (threeWrongsPopupButton)
        threeWrongsPopupButton->selectItemWithTag(
            static_cast<int>(PreferencesIntegerValue(kPrefThreeWrongPasswordsImage, 1, appID_)));
    readBluetoothRow();
    if (saveImagesTo)
        saveImagesTo->setStringValue(platform::paths::abbreviateWithTilde(
            PreferencesStringValue(kPrefSaveImagesPath, defaultSaveImagesPath(), appID_)));
    if (saveImagesMode)
        saveImagesMode->selectItemWithTag(PreferencesBoolValue(kPrefSaveImagesImmediately, false, appID_) ? 2 : 1);
}

void PreferenceController::readBluetoothRow() {
    const platform::ObjectRef device = PreferencesObjectValue(kPrefBluetoothDevice, nullptr, appID_);
    const bool enabled = PreferencesBoolValue(kPrefLockViaBluetooth, false, appID_);
    showBluetoothDevice(enabled ? device : nullptr);
}

void PreferenceController::showBluetoothDevice(const platform::ObjectRef& device) {
    const auto bluetoothDevice = std::dynamic_pointer_cast<platform::BluetoothDevice>(device);
    if (lockViaBluetooth) lockViaBluetooth->setState(bluetoothDevice ? 1 : 0);
    if (!bluetoothDeviceName) return;
    if (!bluetoothDevice) {
        bluetoothDeviceName->setStringValue("");
    } else if (PreferencesBoolValue(kPrefBluetoothUnlockOnly, false, appID_)) {
        bluetoothDeviceName->setStringValue(bluetoothDevice->getName() + "; for unlocking only");
    } else {
        const std::string timeout =
            bluetoothDevicePanelController ? bluetoothDevicePanelController->timeoutAsString() : std::string();
        bluetoothDeviceName->setStringValue(bluetoothDevice->getName() + (timeout.empty() ? "" : " " + timeout));
    }
}

void PreferenceController::writeValue(const std::string& key, const platform::Value& value) {
    platform::preferences::setAppValue(key, value, appID_);
}

void PreferenceController::writeCheckBox(const std::string& key, const platform::Button& box) {
    writeValue(key, box.state() == 1);
}

bool PreferenceController::flushSettings() {
    unsavedSettings_ = !platform::preferences::appSynchronize(appID_);
    return !unsavedSettings_;
}

bool PreferenceController::synchronizeWithApplication() {
    // The application would only read again what it already has.
    if (!flushSettings()) {
        if (!loading_) alertSettingsNotSaved(appID_);
        return false;
    }
    platform::DistributedNotificationCenter::shared().post(kChangeNotification, kPreferencesObject);
    return true;
}

void PreferenceController::alertSettingsNotSaved(const std::string& appID) {
    platform::Alert::withMessage("Settings not saved", "Ok", "", "",
                                 "The settings file " + settingsFileShown(appID) + " could not be written" +
                                     kWhyNotWritten +
                                     " Tarnwick goes on with the settings it had. The change is kept in this "
                                     "window and saved with the next one, or when the window closes.")
        .runModal();
}

platform::PreferencePane::UnselectReply PreferenceController::shouldUnselect() {
    while (unsavedSettings_) {
        if (synchronizeWithoutAlert()) break;
        const int answer =
            platform::Alert::withMessage("Settings not saved", "Try Again", "Close Without Saving", "",
                                         "The settings file " + settingsFileShown(appID_) + " still cannot be written" +
                                             kWhyNotWritten + " Closing the window now loses the changes made since.")
                .runModal();
        if (answer != platform::Alert::DefaultReturn) break;
    }
    return UnselectReply::Now;
}

bool PreferenceController::synchronizeWithoutAlert() {
    if (!flushSettings()) return false;
    platform::DistributedNotificationCenter::shared().post(kChangeNotification, kPreferencesObject);
    return true;
}

void PreferenceController::performOnMainThread(std::function<void()> fn) {
    platform::RunLoop::main().performOnMainThread(
        [alive = alive_, fn = std::move(fn)] {
            if (alive->load()) fn();
        },
        false);
}
