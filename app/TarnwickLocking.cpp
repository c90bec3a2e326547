#include "app/Tarnwick.h"

#include "app/FullScreenWindow.h"
#include "app/LogController.h"
#include "app/Photographer.h"
#include "shared/TarnwickConstants.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Clock.h"
#include "app/TarnwickDefaults.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Task.h"
#include "platform/services/Displays.h"
#include "platform/ui/Alert.h"
#include "shared/ExceptionEntry.h"
#include "shared/InputField.h"
#include "shared/QMASL.h"

#include <utility>

namespace {

constexpr std::int32_t kLionVersionFloor = 0x106F;
// Apple menu, process switching, force quit, log out/restart/shut down and
// hiding are all disabled while locked.
constexpr std::uint32_t kLockedUIOptions = 0x7C;

}  // namespace

std::optional<std::string> Tarnwick::frontmostProcessName() {
    auto& processes = platform::Processes::shared();
    platform::ProcessSerialNumber front;
    if (processes.frontProcess(front) != 0) return std::nullopt;
    std::string name;
    if (processes.processName(front, name) != 0) return std::nullopt;
    return name;
}

void Tarnwick::checkAndLockScreen(platform::Object* sender) {
    const std::optional<std::string> frontName = frontmostProcessName();
    for (const platform::Value& entry : defaults().arrayForKey(kPrefExceptions)) {
        const std::optional<std::string> name = exceptionEntryName(entry.stringValue());
        QMLog(7, "Comparing %@ <-> %@", frontName ? frontName->c_str() : nullptr, name ? name->c_str() : nullptr);
        if (frontName && name && *frontName == *name) {
            QMLog(6, "Not locking computer. %@ is currently the frontmost application.", *name);
            // Looked at again after another interval: the application may
            // end or go behind without any input (a film that ends while the
            // user is away), and the screen must not stay open for good.
            if (isInactivityLock(sender)) restartIdleTimer();
            return;
        }
    }
    lockScreen(sender);
}

void Tarnwick::abandonLock(bool fadedOut, bool inputSourceSwitched) {
    // Leave the user's keyboard as it was: the lock that switched it is not coming.
    if (inputSourceSwitched && lastInputSourceRef) platform::InputSources::shared().select(*lastInputSourceRef);
    if (fadedOut) fadeIn(1.0f);
    lock_status.store(2);
    releaseSettingsOfTheLock();
    endLockSetup();
}

void Tarnwick::endLockSetup() {
    settingUpLock_.store(false);
    aboutToLock.unlock();
    // What arrived while the set-up waited in an alert or on a thread.
    if (std::exchange(unlockRequestedDuringSetup_, false)) performAfterDelay(0.0, [this] { unlockScreen(); });
}

// Another program of the session can rewrite the settings file while the
// screen is locked; the lock goes on with the password, the unlocking device
// and the rest stored when it began. Nobody at the keyboard could change
// them meanwhile, so nothing the user did waits.
void Tarnwick::holdSettingsOfTheLock() { defaults().holdStoredValues(); }

void Tarnwick::releaseSettingsOfTheLock() {
    defaults().releaseStoredValues();
    if (std::exchange(settingsChangedWhileLocked_, false)) schedulePreferencesChange();
}

void Tarnwick::dropPhotographer() {
    // Out of the field first: waiting for its thread lets other main-thread
    // work run, which must not find a photographer half terminated.
    std::unique_ptr<Photographer> dropped = std::move(photographer);
    if (dropped) dropped->terminate();
}

void Tarnwick::lockScreen(platform::Object* sender) {
    std::int32_t unlocked = 2;
    if (!lock_status.compare_exchange_strong(unlocked, 1, std::memory_order_seq_cst)) return;
    if (!aboutToLock.try_lock()) {
        lock_status.store(2);
        return;
    }
    settingUpLock_.store(true);
    holdSettingsOfTheLock();
    if (!setupCheck(false)) return abandonLock(false, false);
    if (!fadeOut(1.0f)) return abandonLock(false, false);

    terminateScreensavers();

    const std::string videoDevice = defaults().stringForKey(kPrefVideoCaptureDevice);
    if (photographer && !photographer->setupCaptureSession()) dropPhotographer();
    if (photographer && !videoDevice.empty()) {
        for (int answer = photographer->cameraReady(); answer != 2; answer = photographer->cameraReady())
            if (answer == 0) return abandonLock(true, false);
    }

    rememberFrontmostApplication();
    if (!rememberCurrentInputSource()) return abandonLock(true, false);

    auto& displays = platform::Displays::shared();
    if (!captureDisplays()) {
        if (int status = displays.releaseAll()) QMLog(3, "Error releasing displays: %ld", static_cast<long>(status));
        abandonLock(true, true);
        // Whoever asked by hot key or menu sees the refusal; nobody watches
        // an inactivity lock.
        if (isInactivityLock(sender)) retryInactivityLock();
        return;
    }

    inputAccepted.store(false);
    if (lockScreenHotKeyEvent) platform::HotKeyCenter::shared().unregisterHotKey(lockScreenHotKeyEvent);
    lockTime = platform::Clock::seconds();

    if (int status = displays.hideCursor(displays.mainDisplay())) QMLog(3, "Failed to hide mouse cursor: %d", status);

    if (logController) logController->reset(this);
    if (defaults().boolForKey(kPrefScreenLocked)) postEvent(kScreenLockedEvent);

    const auto frames = displays.screenFrames();
    mainWindow = std::make_unique<FullScreenWindow>(frames.empty() ? platform::Rect{0, 0, 1440, 900} : frames.front());
    mainWindow->setContentView(aContentView);
    setLockImage("lock.png");

    platform::Application::shared().activateIgnoringOtherApps();
    mainWindow->makeKeyAndOrderFront();
    mainWindow->makeFirstResponder(this);

    if (macVersion > kLionVersionFloor && !defaults().boolForKey(kPrefShowInDock))
        platform::Processes::shared().transformCurrentProcess(platform::Processes::ProcessType::Foreground);

    platform::SystemUIMode::shared().set(platform::SystemUIMode::AllHidden, kLockedUIOptions);

    dimScreen();
    infoText->setStringValue("");
    passwordField->setHidden(true);
    passwordField->setStringValue("");
    retriesLeft = 3;

    clearCachesFolder();

    double whiteScreen = 0.1;
    if (photographer && defaults().boolForKey(kPrefWhiteScreenDelay) && !sleeping()) {
        QMLog(7, "Keeping white screen for 3 seconds");
        whiteScreen = 3.0;
    }
    performAfterDelay(whiteScreen, [this] { fadeIn(1.0f); });

    if (logController && logController->window().isVisible()) showLogWindow(this);
    announceLockState(true);
    endLockSetup();
}

bool Tarnwick::captureDisplays() {
    auto& displays = platform::Displays::shared();
    std::vector<platform::DisplayID> online;
    if (int status = displays.onlineDisplays(8, online)) {
        QMLog(3, "CGGetOnlineDisplayList() failed: %d", status);
        return false;
    }
    const platform::DisplayID mainDisplay = displays.mainDisplay();
    for (platform::DisplayID display : online) {
        const std::uint32_t options = display == mainDisplay ? platform::Displays::CaptureNoFill : 0;
        if (int status = displays.capture(display, options)) {
            QMLog(3, "CGDisplayCaptureWithOptions() failed: %d", status);
            return false;
        }
    }
    return true;
}

bool Tarnwick::rememberCurrentInputSource() {
    const platform::Value stored = defaults().objectForKey(kPrefPasswordInputSource);
    if (!stored.isString()) {
        lastInputSourceRef.reset();
        return true;
    }
    const std::string identifier = stored.stringValue();
    auto& sources = platform::InputSources::shared();
    lastInputSourceRef = sources.current();

    std::string message;
    const std::vector<std::string> matching = sources.enabledWithIdentifier(identifier);
    if (matching.empty()) {
        message = "The input source in use when setting the password is not available anymore: " + identifier;
    } else if (sources.select(matching.front()) == 0) {
        return true;
    } else {
        message = "Failed to set the input source used when setting the password: " + identifier;
    }
    lastInputSourceRef.reset();
    QMLog(3, "%@", message);
    platform::Alert::withMessage("Cannot lock computer", "Ok", "", "",
                                 message + "\n\nMake sure it is installed and selectable.")
        .runModal();
    return false;
}

void Tarnwick::rememberFrontmostApplication() { platform::Processes::shared().frontProcess(lastForegroundProcess); }

void Tarnwick::restoreFrontmostApplication() { platform::Processes::shared().setFrontProcess(lastForegroundProcess); }

void Tarnwick::terminateScreensavers() {
    const std::string helper = platform::Bundle::main().pathForResource("pkill");
    if (helper.empty()) return;
    platform::Task task(helper, {"ScreenSaverEngine"});
    if (task.launch()) task.waitUntilExit();
}

bool Tarnwick::photosAreSavedIn(const std::string& folder) {
    if (!defaults().boolForKey(kPrefSaveImagesImmediately)) return false;
    const std::string photoFolder = platform::paths::expandTilde(defaults().stringForKey(kPrefSaveImagesPath));
    return platform::paths::sameLocation(photoFolder, folder);
}

void Tarnwick::clearCachesFolder() {
    const std::string folder = platform::paths::appendComponent(platform::paths::cachesDirectory(), kBundleName);
    // The default photo folder is this one: photos the user chose to keep
    // stay.
    if (photosAreSavedIn(folder)) return;
    for (const std::string& item : platform::FileManager::contentsOfDirectory(folder))
        platform::FileManager::removeItem(platform::paths::appendComponent(folder, item));
}

void Tarnwick::unlockScreen() {
    if (settingUpLock_.load()) {
        // The lock being set up waits on the user or on a thread, which lets
        // this request run meanwhile; it is carried out once the set-up has
        // ended, so that no half-built lock is left behind marked as unlocked.
        unlockRequestedDuringSetup_ = true;
        return;
    }
    std::int32_t locked = 1;
    if (!lock_status.compare_exchange_strong(locked, 2, std::memory_order_seq_cst)) return;
    announceLockState(false);

    fadeOut(1.0f);
    if (defaults().boolForKey(kPrefScreenUnlocked)) postEvent(kScreenUnlockedEvent);

    auto& displays = platform::Displays::shared();
    if (int status = displays.showCursor(displays.mainDisplay()))
        QMLog(3, "Error reenabling mouse cursor: %ld", static_cast<long>(status));
    if (int status = displays.releaseAll()) QMLog(3, "Error releasing displays: %ld", static_cast<long>(status));

    stopTimer(3);
    stopTimer(2);
    stopTimer(1);

    if (mainWindow) {
        mainWindow->setLevel(platform::windowlevel::Normal);
        mainWindow->orderOut();
        mainWindow.reset();
    }

    auto& uiMode = platform::SystemUIMode::shared();
    if (int status = uiMode.set(platform::SystemUIMode::Normal, 0))
        QMLog(3, "Error setting UI model to normal: %s; %s (%ld)", uiMode.errorString(status),
              uiMode.commentString(status), static_cast<long>(status));

    if (lockScreenHotKeyEvent) platform::HotKeyCenter::shared().registerHotKey(lockScreenHotKeyEvent);

    if (defaults().boolForKey(kPrefShowLogOnUnlock) && logController) {
        if (defaults().boolForKey(kPrefShowLogOnUnlockAfterFailedUnlock) && logController->logEntryCount() <= 2)
            restoreFrontmostApplication();
        else if (!logController->window().isVisible())
            performAfterDelay(1.0, [this] { showLogWindow(nullptr); });
    }

    if (lastInputSourceRef) {
        platform::InputSources::shared().select(*lastInputSourceRef);
        lastInputSourceRef.reset();
    }

    if (macVersion > kLionVersionFloor && !defaults().boolForKey(kPrefShowInDock))
        platform::Processes::shared().transformCurrentProcess(platform::Processes::ProcessType::UIElement);

    performAfterDelay(0.1, [this] { fadeIn(1.0f); });

    dropPhotographer();
    photographer = Photographer::initWithDelegate(this);
    releaseSettingsOfTheLock();
}

void Tarnwick::makeActive() {
    QMLog(7, "makeActive");
    if (platform::Clock::seconds() - lockTime <= 0) {
        QMLog(7, "makeActive aborted, less then 1 second since locking");
        return;
    }
    if (dim_status.load() == 1) return;

    fadeOut(1.0f);
    dim_status.store(1);
    if (mainWindow) mainWindow->setBackgroundColor(platform::Color::white());
    imageView->setAlphaValue(0.4);
    passwordField->setHidden(false);
    infoText->setStringValue("Please enter your password.");
    restartTimer(1);
    restartTimer(2);
    performAfterDelay(0.1, [this] { fadeIn(1.0f); });
}

void Tarnwick::makeInactive() {
    if (dim_status.load() == 0) return;

    fadeOut(0.0f);
    if (mainWindow) mainWindow->setBackgroundColor(platform::Color::black());
    dimScreen();
    passwordField->setHidden(true);
    infoText->setStringValue("");
    stopTimer(2);
    performAfterDelay(0.1, [this] { fadeIn(0.0f); });
}

void Tarnwick::applicationDidResignActiveNotification(const platform::NotificationRef&) {
    if (lock_status.load() != 1 || !mainWindow) return;
    platform::Application::shared().activateIgnoringOtherApps();
    mainWindow->makeKeyAndOrderFront();
    mainWindow->makeFirstResponder(passwordField.get());
}
