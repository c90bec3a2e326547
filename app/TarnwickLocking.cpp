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
#include "platform/services/Workspace.h"
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
// How soon an automatic lock that could not be made is tried again.
constexpr double kLockRetrySeconds = 3.0;
constexpr const char* kScreenSaverProcess = "ScreenSaverEngine";

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

void Tarnwick::lockScreen(platform::Object* sender) {
    lockScreenFor(isInactivityLock(sender) ? LockTrigger::Inactivity : LockTrigger::Person);
}

// What keeps any lock from starting this moment; each passes by itself.
std::optional<std::string> Tarnwick::whyNoLockNow() const {
    if (states.isSettingUp()) return "another lock is being set up";
    if (states.fade() != FadeState::Idle) return "a fade is under way";
    if (platform::Alert::isShowing()) return "an alert waits for an answer";
    return std::nullopt;
}

// Up to the capture, the lock does only what must come before the displays
// are taken: the checks and, for a person at the keyboard, the camera's
// question (an alert under a grab could not be answered). The rest waits for
// the capture's answer.
void Tarnwick::lockScreenFor(LockTrigger trigger) {
    if (states.isLocked()) {
        if (trigger == LockTrigger::Sleep && platform::Workspace::isInstalled())
            platform::Workspace::shared().sleepMayProceed();
        return;
    }
    if (const std::optional<std::string> reason = whyNoLockNow()) return refuseLock(trigger, *reason);
    states.beginSetUp();
    if (trigger == LockTrigger::Person) {
        if (!setupCheck(false)) return abandonLock(false);
    } else if (const std::optional<std::string> problem = setupProblem()) {
        abandonLock(false);
        return refuseLock(trigger, *problem);
    }
    fadeOut(1.0f);
    if (trigger == LockTrigger::Person && !cameraAnswered()) return abandonLock(true);
    captureDisplays(trigger);
}

// Whether the camera is ready or the person at the keyboard chose to lock
// without it (an alert asks); false when they chose the settings instead.
bool Tarnwick::cameraAnswered() {
    if (!setUpCamera()) return true;
    for (CameraAnswer answer = photographer->cameraReady(); answer != CameraAnswer::Ready;
         answer = photographer->cameraReady())
        if (answer == CameraAnswer::OpenPreferences) return false;
    return true;
}

// Whether a camera is chosen and a photographer is there to use it.
bool Tarnwick::setUpCamera() {
    if (photographer && !photographer->setupCaptureSession()) dropPhotographer();
    return photographer && !defaults().stringForKey(kPrefVideoCaptureDevice).empty();
}

// Nobody is there to answer the camera's question: the lock comes first,
// photos or not, and the camera is set up once the lock holds.
void Tarnwick::setUpCameraUnasked(LockTrigger trigger) {
    if (!setUpCamera()) return;
    if (const std::optional<std::string> problem = photographer->cameraProblem())
        QMLog(5, "Locking after %@ without the camera: %@", nameOf(trigger), *problem);
}

void Tarnwick::captureDisplays(LockTrigger trigger) {
    const std::uint64_t number = ++captureNumber_;
    platform::Displays::shared().captureAll([this, alive = alive_, trigger, number](platform::CaptureOutcome outcome) {
        if (alive->load() && number == captureNumber_) displaysCaptured(trigger, outcome);
    });
}

void Tarnwick::displaysCaptured(LockTrigger trigger, platform::CaptureOutcome outcome) {
    if (!states.isSettingUp()) return;
    if (outcome == platform::CaptureOutcome::Refused) {
        QMLog(3, "CGDisplayCaptureWithOptions() failed: %d", platform::Displays::kCannotComplete);
        if (int status = platform::Displays::shared().releaseAll())
            QMLog(3, "Error releasing displays: %ld", static_cast<long>(status));
        abandonLock(true);
        return refuseLock(trigger, "the displays could not be captured");
    }
    // The keyboard and the screens are held: what only the lock screen
    // needs comes now, so that the grab never waits for it.
    if (trigger != LockTrigger::Person) setUpCameraUnasked(trigger);
    rememberFrontmostApplication();
    rememberCurrentInputSource();
    // Still setting up while it is shown: what the announcements let run
    // meanwhile (an unlock request) waits for the end of the set-up.
    showLockScreen();
    states.holds();
    retryTriggers_.clear();
    if (lockRetryTimer_) lockRetryTimer_->invalidate();
    if (platform::Workspace::isInstalled()) platform::Workspace::shared().sleepMayProceed();
    endLockSetup();
}

// Everything that follows a capture that holds: the lock is there, and now
// it is shown, announced and kept.
void Tarnwick::showLockScreen() {
    states.refuseInput();
    if (lockScreenHotKeyEvent) platform::HotKeyCenter::shared().unregisterHotKey(lockScreenHotKeyEvent);
    lockTime = platform::Clock::seconds();

    auto& displays = platform::Displays::shared();
    if (int status = displays.hideCursor(displays.mainDisplay())) QMLog(3, "Failed to hide mouse cursor: %d", status);

    holdSettingsOfTheLock();
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
    recordAttempts();

    clearCachesFolder();

    double whiteScreen = 0.1;
    if (photographer && defaults().boolForKey(kPrefWhiteScreenDelay) && !sleeping()) {
        QMLog(7, "Keeping white screen for 3 seconds");
        whiteScreen = 3.0;
    }
    performAfterDelay(whiteScreen, [this] { fadeIn(1.0f); });

    if (logController && logController->window().isVisible()) showLogWindow(this);
    announceLockState(true);
    // The search for a screen saver reads every process: the lock screen
    // answers its first key before that.
    performAfterDelay(0.0, [this] { terminateScreensavers(); });
}

// The display server ended a lock that held (a compositor may): the lock
// stays in force and takes the displays again, for as long as it takes.
void Tarnwick::captureLost() {
    if (!states.isLocked()) return;
    QMLog(3, "The display server took the lock away; taking the displays again");
    const std::uint64_t number = ++captureNumber_;
    platform::Displays::shared().captureAll([this, alive = alive_, number](platform::CaptureOutcome outcome) {
        if (!alive->load() || number != captureNumber_ || !states.isLocked()) return;
        if (outcome == platform::CaptureOutcome::Refused)
            performAfterDelay(kLockRetrySeconds, [this] { captureLost(); });
    });
}

void Tarnwick::refuseLock(LockTrigger trigger, const std::string& reason) {
    if (trigger == LockTrigger::Person) {
        QMLog(3, "Not locking the screen: %@", reason);
        return;
    }
    QMLog(5, "Could not lock after %@: %@", nameOf(trigger), reason);
    if (trigger == LockTrigger::Inactivity)
        retryInactivityLock();
    else
        retryLockLater(trigger);
}

// An automatic lock must come: it is tried again until it holds, or until
// what asked for it is gone (see stopRetrying).
void Tarnwick::retryLockLater(LockTrigger trigger) {
    QMLog(3, "Could not lock after %@; trying again in %d seconds", nameOf(trigger),
          static_cast<int>(kLockRetrySeconds));
    retryTriggers_.insert(trigger);
    if (lockRetryTimer_ && lockRetryTimer_->isValid()) return;
    lockRetryTimer_ = platform::RunLoop::main().scheduleTimer(kLockRetrySeconds, false,
                                                              [this](platform::Timer&) { retryWaitingLocks(); });
}

void Tarnwick::retryWaitingLocks() {
    if (retryTriggers_.empty()) return;
    const LockTrigger trigger = *retryTriggers_.begin();
    // A refusal puts it back.
    retryTriggers_.erase(trigger);
    lockScreenFor(trigger);
    if (!retryTriggers_.empty() && !(lockRetryTimer_ && lockRetryTimer_->isValid()))
        retryLockLater(*retryTriggers_.begin());
}

void Tarnwick::stopRetrying(LockTrigger trigger) {
    retryTriggers_.erase(trigger);
    if (retryTriggers_.empty() && lockRetryTimer_) lockRetryTimer_->invalidate();
}

void Tarnwick::abandonLock(bool fadedOut) {
    if (fadedOut) fadeIn(1.0f);
    states.abandonSetUp();
    releaseSettingsOfTheLock();
    endLockSetup();
}

void Tarnwick::endLockSetup() {
    // What arrived while the set-up waited in an alert or for the displays.
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

// A missing layout never keeps the screen open: the lock takes the layout at
// hand and says on the lock screen which one the password was set with.
void Tarnwick::rememberCurrentInputSource() {
    layoutNote_.clear();
    const platform::Value stored = defaults().objectForKey(kPrefPasswordInputSource);
    if (!stored.isString()) {
        lastInputSourceRef.reset();
        return;
    }
    const std::string& identifier = stored.stringValue();
    auto& sources = platform::InputSources::shared();
    lastInputSourceRef = sources.current();

    std::string message;
    const std::vector<std::string> matching = sources.enabledWithIdentifier(identifier);
    if (matching.empty()) {
        message = "The input source in use when setting the password is not available anymore: " + identifier;
    } else if (sources.select(matching.front()) == 0) {
        return;
    } else {
        message = "Failed to set the input source used when setting the password: " + identifier;
    }
    lastInputSourceRef.reset();
    QMLog(3, "%@", message);
    QMLog(5, "Locking with the keyboard layout at hand");
    layoutNote_ = "The password was set with the keyboard layout " + identifier + ".";
}

std::string Tarnwick::promptText() const {
    const std::string prompt = "Please enter your password.";
    return layoutNote_.empty() ? prompt : prompt + " " + layoutNote_;
}

void Tarnwick::rememberFrontmostApplication() { platform::Processes::shared().frontProcess(lastForegroundProcess); }

void Tarnwick::restoreFrontmostApplication() { platform::Processes::shared().setFrontProcess(lastForegroundProcess); }

// Nothing waits for the helper; nothing starts it when no screen saver runs.
void Tarnwick::terminateScreensavers() {
    if (!platform::Task::anyProcessNamed(kScreenSaverProcess)) return;
    const std::string helper = platform::Bundle::main().pathForResource("pkill");
    if (helper.empty()) return;
    platform::Task task(helper, {kScreenSaverProcess});
    task.launchDetached();
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
    if (states.isSettingUp()) {
        // The lock being set up waits on the user or on the displays, which
        // lets this request run meanwhile; it is carried out once the set-up
        // has ended, so that no half-built lock is left behind as unlocked.
        unlockRequestedDuringSetup_ = true;
        return;
    }
    if (!states.beginUnlock()) return;
    ++captureNumber_;
    announceLockState(false);

    fadeOut(1.0f);
    if (defaults().boolForKey(kPrefScreenUnlocked)) postEvent(kScreenUnlockedEvent);

    auto& displays = platform::Displays::shared();
    if (int status = displays.showCursor(displays.mainDisplay()))
        QMLog(3, "Error reenabling mouse cursor: %ld", static_cast<long>(status));
    // The hot key is back before the keyboard is free: whoever finds the
    // keyboard free can lock again with it at once.
    if (lockScreenHotKeyEvent) platform::HotKeyCenter::shared().registerHotKey(lockScreenHotKeyEvent);
    if (int status = displays.releaseAll()) QMLog(3, "Error releasing displays: %ld", static_cast<long>(status));

    stopTimer(LockTimer::Penalty);
    stopTimer(LockTimer::InputLimit);
    stopTimer(LockTimer::Dim);

    if (mainWindow) {
        mainWindow->setLevel(platform::windowlevel::Normal);
        mainWindow->orderOut();
        mainWindow.reset();
    }

    auto& uiMode = platform::SystemUIMode::shared();
    if (int status = uiMode.set(platform::SystemUIMode::Normal, 0))
        QMLog(3, "Error setting UI model to normal: %s; %s (%ld)", uiMode.errorString(status),
              uiMode.commentString(status), static_cast<long>(status));

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
    if (states.dim() == DimState::Active) return;

    fadeOut(1.0f);
    states.setDim(DimState::Active);
    if (mainWindow) mainWindow->setBackgroundColor(platform::Color::white());
    imageView->setAlphaValue(0.4);
    passwordField->setHidden(false);
    infoText->setStringValue(promptText());
    restartTimer(LockTimer::Dim);
    restartTimer(LockTimer::InputLimit);
    performAfterDelay(0.1, [this] { fadeIn(1.0f); });
}

void Tarnwick::makeInactive() {
    if (states.dim() == DimState::Dimmed) return;

    fadeOut(0.0f);
    if (mainWindow) mainWindow->setBackgroundColor(platform::Color::black());
    dimScreen();
    passwordField->setHidden(true);
    infoText->setStringValue("");
    stopTimer(LockTimer::InputLimit);
    performAfterDelay(0.1, [this] { fadeIn(0.0f); });
}

void Tarnwick::applicationDidResignActiveNotification(const platform::NotificationRef&) {
    if (!states.isLocked() || !mainWindow) return;
    platform::Application::shared().activateIgnoringOtherApps();
    mainWindow->makeKeyAndOrderFront();
    mainWindow->makeFirstResponder(passwordField.get());
}
