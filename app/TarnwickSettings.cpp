#include "app/Tarnwick.h"

#include "app/TarnwickDefaults.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/PropertyList.h"
#include "platform/services/Workspace.h"
#include "platform/ui/Alert.h"
#include "shared/PasswordDigest.h"
#include "shared/QMASL.h"
#include "shared/SliderCurve.h"
#include "shared/TarnwickConstants.h"
#include "shared/TarnwickEvents.h"
#include "shared/TarnwickPaths.h"

#include <cmath>
#include <optional>
#include <string>

namespace {

constexpr float kDefaultBluetoothTimeout = 0.5f;

// A slider position from the settings; one that is no finite number reads
// as the slider's default.
float sliderPosition(const char* key, float fallback) {
    const float position = defaults().floatForKey(key);
    return std::isfinite(position) ? position : fallback;
}

// Shows a configuration problem with the one button the caller asked for,
// then opens the pane so that it can be put right.
void reportConfigurationProblem(const std::string& message, const std::string& informative, bool quitButton,
                                const std::string& paneBundle) {
    platform::Alert::withMessage(message, quitButton ? "Quit" : "Ok", "", "", informative).runModal();
    platform::Workspace::shared().openFile(paneBundle);
}

}  // namespace

void Tarnwick::registerUserDefaults() {
    platform::Dictionary d;
    d[kPrefPassword] = "";
    d[kPrefVideoCaptureDevice] = "";
    d[kPrefShowInMenu] = true;
    d[kPrefShowInDock] = true;
    d[kPrefShowLogOnUnlock] = true;
    d[kPrefShowLogOnUnlockAfterFailedUnlock] = true;
    d[kPrefDimScreenMode] = 1;
    d[kPrefFadingEnabled] = true;
    d[kPrefPenalty] = 1;
    d[kPrefInputPause] = 10;
    d[kPrefDimScreen] = 60;
    d[kPrefLockScreenDelay] = 0;
    d[kPrefWhiteScreenDelay] = true;
    d[kPrefLockOnSleepComputer] = true;
    d[kPrefLockOnStartup] = false;
    d[kPrefIgnoreFirstKey] = false;
    d[kPrefThreeWrongPasswordsImage] = 1;
    d[kPrefLockViaBluetooth] = false;
    d[kPrefBluetoothTimeout] = kDefaultBluetoothTimeout;
    d[kPrefBluetoothUnlockOnly] = false;
    d[kPrefExceptions] = platform::Array{};
    d[kPrefSaveImagesImmediately] = false;
    d[kPrefSaveImagesPath] =
        platform::paths::appendComponent(platform::paths::expandTilde(platform::paths::cachesDirectory()), kBundleName);
    d.insert(eventDefaults().begin(), eventDefaults().end());
    defaults().registerDefaults(d);
}

std::int32_t Tarnwick::autoActivateMinutes() const {
    const float x = sliderPosition(kPrefAutoActivate, 0.0f);
    if (x < 1.0f) return 0;
    return sliderMinutes(x, f);
}

std::int32_t Tarnwick::secondsUntilBluetoothLock() const {
    const float x = sliderPosition(kPrefBluetoothTimeout, kDefaultBluetoothTimeout);
    if (x < 0.5f) return 0;
    if (x < 1.0f) return 30;
    return sliderMinutes(x, f) * 60;
}

bool Tarnwick::hasUsablePassword() const {
    const platform::Value stored = defaults().objectForKey(kPrefPassword);
    if (stored.isNull() || (stored.isString() && stored.stringValue().empty())) return false;
    if (stored.isString() && password_digest::normalised(stored.stringValue())) return true;
    // No typed text could ever match: a lock with it would shut the user out.
    const std::string problem =
        stored.isString() ? password_digest::problemWith(stored.stringValue()) : std::string("it is not a text");
    QMLog(3, "The stored password cannot be used (%s); set the password again", problem.c_str());
    return false;
}

namespace {

struct ConfigurationProblem {
    std::string message;
    std::string informative;
};

std::optional<ConfigurationProblem> configurationProblem(const Tarnwick& app) {
    if (!app.hasUsablePassword())
        return ConfigurationProblem{
            "Tarnwick has not been configured yet",
            "At least you need to set a password. Then start the application by clicking on the 'Start' button in "
            "the upper left."};

    const auto screenSaver =
        platform::plist::readFile(platform::paths::expandTilde("~/Library/Preferences/com.apple.screensaver.plist"));
    if (!screenSaver || !screenSaver->isDictionary()) return std::nullopt;

    const bool systemAsksForPassword = (*screenSaver)["askForPassword"].integerValue() != 0;
    if (systemAsksForPassword && defaults().boolForKey(kPrefLockOnSleepComputer))
        return ConfigurationProblem{
            "Configuration error",
            "You have configured Tarnwick to lock this computer when the system goes to sleep. Also you have "
            "configured 'Require password' in the Apple Security preference panel. You have to switch off one of "
            "these."};
    if (systemAsksForPassword && ::autoActivateMinutes > 0)
        return ConfigurationProblem{
            "Configuration error",
            "You have configured Tarnwick to lock this computer after a period of inactivity. Also you have "
            "configured 'Require password' in the Apple Security preference panel. You have to switch off one of "
            "these."};
    return std::nullopt;
}

}  // namespace

bool Tarnwick::setupCheck(bool quitButton) {
    const std::optional<std::string> paneBundle = TarnwickPaths::pathToPreferencesBundle();
    if (!paneBundle) return false;
    const std::optional<ConfigurationProblem> problem = configurationProblem(*this);
    if (!problem) return true;
    reportConfigurationProblem(problem->message, problem->informative, quitButton, *paneBundle);
    return false;
}

std::optional<std::string> Tarnwick::setupProblem() const {
    if (!TarnwickPaths::pathToPreferencesBundle()) return "the settings are not installed";
    if (const std::optional<ConfigurationProblem> problem = configurationProblem(*this)) return problem->message;
    return std::nullopt;
}
