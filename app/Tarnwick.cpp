#include "app/Tarnwick.h"

#include "app/AboutPanel.h"
#include "app/BluetoothController.h"
#include "app/FullScreenWindow.h"
#include "app/LockWindowInterface.h"
#include "app/LogController.h"
#include "app/Photographer.h"
#include "app/ScriptHandler.h"
#include "app/StatusMenuInterface.h"
#include "app/TarnwickDefaults.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/FileManager.h"
#include "platform/services/Capture.h"
#include "platform/services/Displays.h"
#include "platform/services/Workspace.h"
#include "shared/InputField.h"
#include "shared/QMASL.h"
#include "shared/SliderCurve.h"
#include "shared/TarnwickConstants.h"
#include "shared/TarnwickPaths.h"

#include <algorithm>

Tarnwick* tarnwick = nullptr;
platform::TimerRef idleTimer;
std::int32_t autoActivateMinutes = 0;
float f = 0.0f;

namespace {

// Whether the chosen camera is there to be used. The photographer finds out
// only at the next lock; the settings want to know now, so that a camera that
// cannot take photos is not left chosen in their menu.
bool configuredCameraIsPresent(const std::string& configured) {
    if (!platform::Capture::isInstalled()) return false;
    const auto cameras = platform::Capture::shared().inputDevices();
    return std::any_of(cameras.begin(), cameras.end(), [&configured](const platform::CaptureDeviceRef& camera) {
        return camera->uniqueID() == configured && camera->isConnected();
    });
}

}  // namespace

Tarnwick::Tarnwick() {
    LockWindowInterface ui = buildLockWindowInterface(*this);
    panel = std::move(ui.panel);
    imageView = std::move(ui.imageView);
    infoText = std::move(ui.infoText);
    passwordField = std::move(ui.passwordField);
    statusMenu = buildStatusMenu(*this);
}

Tarnwick::~Tarnwick() {
    alive_->store(false);
    stopAnsweringDesktop();
    for (const platform::TimerRef& timer : pendingPerforms_) timer->invalidate();
    stopTimer(LockTimer::Dim);
    stopTimer(LockTimer::InputLimit);
    stopTimer(LockTimer::Penalty);
    if (lockRetryTimer_) lockRetryTimer_->invalidate();
    if (platform::Displays::isInstalled()) platform::Displays::shared().setCaptureLostHandler(nullptr);
    if (tarnwick == this) {
        if (idleTimer) idleTimer->invalidate();
        idleTimer.reset();
        tarnwick = nullptr;
    }
    if (tapCreated_ && platform::EventTap::isInstalled()) platform::EventTap::shared().destroy();
    // A controller that ends locked leaves the process's settings readable again.
    defaults().releaseStoredValues();
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    if (observingChanges_ && platform::DistributedNotificationCenter::isInstalled())
        platform::DistributedNotificationCenter::shared().removeObserver(this);
    if (observingSleep_ && platform::Workspace::isInstalled()) platform::Workspace::shared().removeSleepObserver(this);
    if (platform::HotKeyCenter::isInstalled()) {
        platform::HotKeyCenter::shared().unregisterHotKey(lockScreenHotKeyEvent);
        platform::HotKeyCenter::shared().unregisterHotKey(showLogHotKeyEvent);
    }
    if (statusItem) platform::StatusBar::system().removeStatusItem(statusItem);
    if (theConnection) theConnection->invalidate();
    dropPhotographer();
    if (bluetoothController) bluetoothController->terminate();
    if (platform::Application::shared().delegate() == this) platform::Application::shared().setDelegate(nullptr);
    if (passwordField) passwordField->setDelegate(nullptr);
}

void Tarnwick::awakeFromNib() {
    tarnwick = this;
    f = static_cast<float>(sliderCurveExponent());
    ::autoActivateMinutes = autoActivateMinutes();
    restartIdleTimer();

    tapCreated_ = platform::EventTap::shared().create([](const platform::EventRef& event) { EventTapCallBack(event); });
    if (!tapCreated_) QMLog(3, "Error creating event trap");

    macVersion = platform::Processes::shared().systemVersion();
    registerUserDefaults();

    theConnection = platform::ConnectionService::shared().makeConnection();
    if (theConnection) theConnection->registerName(kBundleName, this);

    scriptHandler = std::make_unique<ScriptHandler>(this);

    const std::string photoFolder = platform::paths::appendComponent(platform::paths::cachesDirectory(), kBundleName);
    if (!platform::FileManager::fileExists(photoFolder)) platform::FileManager::createDirectory(photoFolder, true);

    aContentView = panel->contentView();
    if (platform::Displays::isInstalled())
        platform::Displays::shared().setCaptureLostHandler([this, alive = alive_] {
            if (alive->load()) captureLost();
        });

    setupNSStatusItem();

    if (defaults().boolForKey(kPrefShowInDock))
        platform::Processes::shared().transformCurrentProcess(platform::Processes::ProcessType::Foreground);

    auto& center = platform::NotificationCenter::defaultCenter();
    auto forward = [this](const platform::NotificationRef& n) { bluetoothNotification(n); };
    center.addObserver(this, kLockRequest, {}, forward);
    center.addObserver(this, kUnlockRequest, {}, forward);
    center.addObserver(this, platform::Application::kApplicationDidResignActive, {},
                       [this](const platform::NotificationRef& n) { applicationDidResignActiveNotification(n); });

    bluetoothController = BluetoothController::init();
    if (bluetoothController) bluetoothController->setSecondsUntilLock(secondsUntilBluetoothLock());

    states.acceptInput();
}

void Tarnwick::applicationDidFinishLaunching() {
    if (!setupCheck(true)) {
        platform::Application::shared().terminate(this);
        return;
    }
    setupPreferencesListener();
    logController = std::make_shared<LogController>(this);
    setupHotKeys();
    photographer = Photographer::initWithDelegate(this);
    platform::DistributedNotificationCenter::shared().post(kStartNotification, kBundleName);
    platform::Workspace::shared().observeSleep(
        this, [this] { computerWillSleepEvent(); }, [this] { computerDidWakeEvent(); });
    observingSleep_ = true;
    startAnsweringDesktop();
    if (defaults().objectForKey(kPrefLockOnStartup).boolValue()) lockScreenFor(LockTrigger::StartUp);
}

platform::ApplicationDelegate::TerminateReply Tarnwick::applicationShouldTerminate() {
    return states.isUnlocked() ? TerminateReply::Now : TerminateReply::Cancel;
}

void Tarnwick::applicationWillTerminate() {
    platform::DistributedNotificationCenter::shared().post(kStopNotification, kBundleName);
    if (theConnection) theConnection->invalidate();
}

void Tarnwick::setupPreferencesListener() {
    platform::DistributedNotificationCenter::shared().addObserver(
        this, kChangeNotification, kPreferencesObject, [this](const std::string&, const std::string& object) {
            // The centre already filters by object; a bus that does not is
            // no reason to take someone else's change for ours.
            if (object == kPreferencesObject) schedulePreferencesChange();
        });
    observingChanges_ = true;
}

void Tarnwick::schedulePreferencesChange() {
    // A lock must not lose its photographer or hot keys under its feet, and
    // nobody at the keyboard can have changed a setting: the change waits
    // for the unlock.
    if (!states.isUnlocked()) {
        settingsChangedWhileLocked_ = true;
        return;
    }
    // Any number of announcements become one re-read, and re-reads come at
    // most once a second: a flood of them never starves the lock screen.
    if (preferencesChangeScheduled_) return;
    preferencesChangeScheduled_ = true;
    const double wait =
        std::max(0.0, lastPreferencesChange_ + kSecondsBetweenSettingsChanges - platform::Clock::current().now());
    performAfterDelay(wait, [this] {
        preferencesChangeScheduled_ = false;
        if (!states.isUnlocked()) {
            settingsChangedWhileLocked_ = true;
            return;
        }
        lastPreferencesChange_ = platform::Clock::current().now();
        preferencesChanged(nullptr);
    });
}

void Tarnwick::preferencesChanged(platform::Object*) {
    QMLog(7, "Reading the changed settings");
    defaults().synchronize();
    ::autoActivateMinutes = autoActivateMinutes();
    setupHotKeys();
    setupNSStatusItem();
    if (bluetoothController) bluetoothController->setSecondsUntilLock(secondsUntilBluetoothLock());

    dropPhotographer();
    photographer = Photographer::initWithDelegate(this);

    const std::string configuredCamera = defaults().stringForKey(kPrefVideoCaptureDevice);
    if (!configuredCamera.empty() && (!photographer || !configuredCameraIsPresent(configuredCamera))) {
        QMLog(7, "Cannot acquire video device.");
        platform::DistributedNotificationCenter::shared().post(kVideoLockFailedNotification, kBundleName);
    }
}

void Tarnwick::setupNSStatusItem() {
    if (defaults().objectForKey(kPrefShowInMenu).boolValue()) {
        if (statusItem) return;
        statusItem = platform::StatusBar::system().statusItemWithLength(platform::StatusBar::SquareLength);
        statusImage = platform::Image::named("hand 18x18.png");
        statusItem->setImage(statusImage);
        statusItem->setMenu(statusMenu);
        statusItem->setToolTip("Tarnwick - Secure your Mac");
        statusItem->setHighlightMode(true);
    } else if (statusItem) {
        platform::StatusBar::system().removeStatusItem(statusItem);
        statusItem.reset();
    }
}

namespace {

platform::HotKeyRef makeHotKey(const char* identifier, const char* codeKey, const char* modifiersKey,
                               std::function<void(platform::HotKey&)> action) {
    const auto code = static_cast<std::int32_t>(defaults().integerForKey(codeKey));
    if (code == -1) return nullptr;
    const auto modifiers = static_cast<std::int32_t>(defaults().integerForKey(modifiersKey));
    const auto origin = defaults().objectForKey(codeKey).isNull() ? platform::HotKey::Origin::NeverStored
                                                                  : platform::HotKey::Origin::Chosen;
    auto hotKey =
        std::make_shared<platform::HotKey>(identifier, platform::KeyCombo{code, modifiers}, std::move(action), origin);
    platform::HotKeyCenter::shared().registerHotKey(hotKey);
    return hotKey;
}

}  // namespace

void Tarnwick::setupHotKeys() {
    auto& center = platform::HotKeyCenter::shared();
    center.unregisterHotKey(lockScreenHotKeyEvent);
    center.unregisterHotKey(showLogHotKeyEvent);
    lockScreenHotKeyEvent = makeHotKey(kLockScreenHotKey, kPrefLockScreenHotKeyCode, kPrefLockScreenHotKeyModifiers,
                                       [this](platform::HotKey& key) { lockScreen(&key); });
    showLogHotKeyEvent = makeHotKey(kShowLogHotKey, kPrefShowLogHotKeyCode, kPrefShowLogHotKeyModifiers,
                                    [this](platform::HotKey& key) { showLogWindow(&key); });
}

void Tarnwick::showLogWindow(platform::Object* sender) {
    if (!logController) return;
    platform::Window& window = logController->window();
    if (window.isVisible()) {
        window.close();
        window.orderOut();
        return;
    }
    if (sender) rememberFrontmostApplication();
    platform::Application::shared().activateIgnoringOtherApps();
    platform::RunLoop::main().performOnMainThread([this] { logController->adjustLogWindow(); }, true);
    window.makeKeyAndOrderFront();
}

void Tarnwick::showPreferences(platform::Object*) {
    if (auto path = TarnwickPaths::pathToPreferencesBundle()) platform::Workspace::shared().openFile(*path);
}

void Tarnwick::showAboutWindow(platform::Object*) { AboutPanel::displayAboutPanel(); }

void Tarnwick::quit(platform::Object*) { platform::Application::shared().terminate(this); }

void Tarnwick::quit() { quit(this); }

const platform::TimerRef& Tarnwick::timer(LockTimer which) const {
    return lockTimers_[static_cast<std::size_t>(which)];
}

void Tarnwick::performAfterDelay(double delay, std::function<void()> fn) {
    std::erase_if(pendingPerforms_, [](const platform::TimerRef& t) { return !t->isValid(); });
    pendingPerforms_.push_back(platform::RunLoop::main().performAfterDelay(delay, std::move(fn)));
}

void Tarnwick::performOnMainThreadWithoutWaiting(std::function<void()> fn) {
    platform::RunLoop::main().performOnMainThread(
        [alive = alive_, fn = std::move(fn)] {
            if (alive->load()) fn();
        },
        false);
}
