#pragma once

#include "app/ApplicationDelegateAccess.h"
#include "app/LockStates.h"
#include "platform/foundation/Notification.h"
#include "platform/foundation/RunLoop.h"
#include "platform/services/Channel.h"
#include "platform/services/Displays.h"
#include "platform/services/Input.h"
#include "platform/services/Processes.h"
#include "platform/ui/Application.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Image.h"
#include "platform/ui/Responder.h"
#include "platform/ui/StatusBar.h"
#include "platform/ui/TextField.h"
#include "shared/PasswordChangeListener.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class BluetoothController;
class FullScreenWindow;
class InputField;
class LogController;
class Photographer;
class ScriptHandler;

// The application's central object and delegate: start-up and shutdown, the
// menu-bar item and hot keys, the lock and unlock cycle, password entry, and
// the sense of inactivity, fading, sleep and wake. Lives for the whole
// process; everything runs on the main thread, and the lock's states
// (LockStateMachine) are touched nowhere else.
class Tarnwick : public platform::Responder,
                 public platform::ApplicationDelegate,
                 public platform::ConnectionRoot,
                 public TarnwickDelegate,
                 public PasswordChangeListener {
public:
    // Builds the lock panel and the status menu and connects them; the
    // caller then runs awakeFromNib, as loading an interface does.
    Tarnwick();
    ~Tarnwick() override;

    // Start-up and shutdown (Tarnwick.cpp).
    void awakeFromNib();
    void applicationDidFinishLaunching() override;
    TerminateReply applicationShouldTerminate() override;
    void applicationWillTerminate() override;
    void setupNSStatusItem();
    void setupHotKeys();
    void setupPreferencesListener();
    void preferencesChanged(platform::Object* sender);
    void schedulePreferencesChange();

    // Actions of the menu, the hot keys and the pane: a lock a person asked
    // for, or the inactivity timer's when it is the sender.
    void lockScreen(platform::Object* sender);
    // A lock for the given reason; one that is not a person's is tried again
    // until it holds or its reason is gone.
    void lockScreenFor(LockTrigger trigger);
    void showLogWindow(platform::Object* sender);
    void showPreferences(platform::Object* sender) override;
    void showAboutWindow(platform::Object* sender);
    void quit(platform::Object* sender);
    void quit() override;  // the pane's message over the registered connection

    // Settings (TarnwickSettings.cpp).
    void registerUserDefaults();
    std::int32_t autoActivateMinutes() const;
    std::int32_t secondsUntilBluetoothLock() const;
    bool setupCheck(bool quitButton);
    // What keeps the configuration from locking, said to nobody.
    std::optional<std::string> setupProblem() const;
    bool hasUsablePassword() const;

    // Locking (TarnwickLocking.cpp).
    void checkAndLockScreen(platform::Object* sender);
    void unlockScreen();
    void makeActive();
    void makeInactive();
    void rememberCurrentInputSource();
    void rememberFrontmostApplication() override;
    void restoreFrontmostApplication() override;
    void terminateScreensavers();
    void applicationDidResignActiveNotification(const platform::NotificationRef& notification);

    // Password entry (TarnwickPassword.cpp).
    void keyDown(const platform::EventRef& event) override;
    void mouseDown(const platform::EventRef& event) override;
    void mouseMoved(const platform::EventRef& event) override;
    void flagsChanged(const platform::EventRef& event) override;
    bool performKeyEquivalent(const platform::EventRef& event) override;
    bool acceptsFirstResponder() const override { return true; }
    void gotEvent(const platform::EventRef& event);
    void passwordIsChanging(platform::Object* sender) override;
    void passwordEntered(platform::Object* sender);
    void delayLogin(platform::Timer& timer);
    void noActivity();
    void restartTimer(LockTimer which);
    void stopTimer(LockTimer which);
    bool isPenaltyRunning() const;
    // Tells a process that may take the lock over the wrong passwords so far.
    void recordAttempts() const;

    // Inactivity, dimming, fades, sleep and wake (TarnwickPower.cpp).
    static void restartIdleTimer();
    static bool isInactivityLock(const platform::Object* sender);
    static void retryInactivityLock();
    void dimScreen();
    void putDisplayToSleep();
    // Fades every display to the level and back, without waiting: false when
    // a fade is under way. A fade-in asked for while the fade-out still runs
    // follows it; the end of a fade-in lets input wake the lock screen.
    bool fadeOut(float level);
    void fadeIn(float level);
    void computerWillSleepEvent();
    void computerDidWakeEvent();
    void bluetoothNotification(const platform::NotificationRef& notification);
    void inactivityTimerFired(platform::Timer& timer, double idleSecondsToLock);

    // Requests of the desktop's other programs and of the login manager
    // (TarnwickRequests.cpp).
    void startAnsweringDesktop();
    void stopAnsweringDesktop();
    void announceLockState(bool locked);
    void loginManagerAskedToUnlock();

    // Accessors.
    LockState lockState() const { return states.lock(); }
    bool sleeping() const override { return states.sleeping(); }
    void setSleeping(bool sleeping) { states.setSleeping(sleeping); }
    bool hasCamera() const { return photographer != nullptr; }

    // What tests and the backends look at.
    DimState dimState() const { return states.dim(); }
    FadeState fadeState() const { return states.fade(); }
    std::uint32_t getTok() const { return tok; }
    bool isInputAccepted() const { return states.inputAccepted(); }
    std::int32_t getRetriesLeft() const { return retriesLeft; }
    std::int32_t getPenalty() const { return penalty; }
    std::int64_t getLockTime() const { return lockTime; }
    // Automatic locks waiting to be tried again.
    bool isLockRetryPending(LockTrigger trigger) const { return retryTriggers_.count(trigger) > 0; }
    FullScreenWindow* lockWindow() const { return mainWindow.get(); }
    InputField& lockPasswordField() const { return *passwordField; }
    platform::ImageView& lockImageView() const { return *imageView; }
    platform::TextField& lockInfoText() const { return *infoText; }
    const platform::MenuRef& menu() const { return statusMenu; }
    const platform::StatusItemRef& menuBarItem() const { return statusItem; }
    const platform::HotKeyRef& lockHotKey() const { return lockScreenHotKeyEvent; }
    const platform::HotKeyRef& showLogHotKey() const { return showLogHotKeyEvent; }
    LogController* logWindowController() const { return logController.get(); }
    Photographer* currentPhotographer() const { return photographer.get(); }
    BluetoothController* proximityMonitor() const { return bluetoothController.get(); }
    platform::Connection* connection() const { return theConnection.get(); }
    const platform::TimerRef& timer(LockTimer which) const;
    const std::optional<std::string>& rememberedInputSource() const { return lastInputSourceRef; }
    const platform::ProcessSerialNumber& rememberedFrontProcess() const { return lastForegroundProcess; }

private:
    void postEvent(const char* eventName, const std::optional<std::string>& password = std::nullopt);
    void setLockImage(const std::string& name);
    void performAfterDelay(double delay, std::function<void()> fn);
    void performOnMainThreadWithoutWaiting(std::function<void()> fn);
    void clearCachesFolder();
    static bool photosAreSavedIn(const std::string& folder);
    std::optional<std::string> frontmostProcessName();
    std::optional<std::string> whyNoLockNow() const;
    bool cameraAnswered();
    bool setUpCamera();
    void setUpCameraUnasked(LockTrigger trigger);
    void captureDisplays(LockTrigger trigger);
    void displaysCaptured(LockTrigger trigger, platform::CaptureOutcome outcome);
    void showLockScreen();
    std::string promptText() const;
    void captureLost();
    void refuseLock(LockTrigger trigger, const std::string& reason);
    void retryLockLater(LockTrigger trigger);
    void retryWaitingLocks();
    void stopRetrying(LockTrigger trigger);
    void abandonLock(bool fadedOut);
    void endLockSetup();
    void holdSettingsOfTheLock();
    void releaseSettingsOfTheLock();
    void dropPhotographer();

    platform::ProcessSerialNumber lastForegroundProcess;
    std::shared_ptr<LogController> logController;
    std::unique_ptr<FullScreenWindow> mainWindow;
    std::unique_ptr<platform::Window> panel;
    std::shared_ptr<InputField> passwordField;
    std::shared_ptr<platform::ImageView> imageView;
    std::shared_ptr<platform::TextField> infoText;
    std::uint32_t tok = 0;
    platform::HotKeyRef lockScreenHotKeyEvent;
    platform::HotKeyRef showLogHotKeyEvent;
    std::unique_ptr<Photographer> photographer;
    std::int32_t retriesLeft = 3;
    std::int32_t penalty = 0;
    // The dim, input limit and penalty timers, by LockTimer.
    std::array<platform::TimerRef, 3> lockTimers_;
    LockStateMachine states;
    platform::ViewRef aContentView;
    std::int64_t lockTime = 0;
    // The fade-in asked for while the fade-out still runs, and its level.
    std::optional<float> fadeInAfterFadeOut_;
    // Answers of an earlier capture that were overtaken are not the lock's.
    std::uint64_t captureNumber_ = 0;
    // Automatic locks refused for now, and the timer that tries them again.
    std::set<LockTrigger> retryTriggers_;
    platform::TimerRef lockRetryTimer_;
    // Said on the lock screen when the password's keyboard layout is missing.
    std::string layoutNote_;
    // An unlock request that came while a lock was being set up, carried out after it.
    bool unlockRequestedDuringSetup_ = false;
    // A settings change announced while locked, read once unlocked.
    bool settingsChangedWhileLocked_ = false;
    bool preferencesChangeScheduled_ = false;
    double lastPreferencesChange_ = 0;
    static constexpr double kSecondsBetweenSettingsChanges = 1.0;
    std::unique_ptr<platform::Connection> theConnection;
    std::optional<std::string> lastInputSourceRef;
    platform::MenuRef statusMenu;
    platform::StatusItemRef statusItem;
    platform::ImageRef statusImage;
    std::unique_ptr<ScriptHandler> scriptHandler;
    std::unique_ptr<BluetoothController> bluetoothController;
    std::int32_t macVersion = 0;

    // Delayed work that must not outlive the controller.
    std::vector<platform::TimerRef> pendingPerforms_;
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
    bool observingSleep_ = false;
    bool observingChanges_ = false;
    bool tapCreated_ = false;
    bool answeringDesktop_ = false;
};

// Process-wide values: the controller, for the input-event callback; the
// inactivity timer; the last inactivity interval in minutes; the exponent of
// the slider curve.
extern Tarnwick* tarnwick;
extern platform::TimerRef idleTimer;
extern std::int32_t autoActivateMinutes;
extern float f;

// The input-event tap's callback: every event restarts the inactivity timer;
// the event goes on unchanged.
platform::EventRef EventTapCallBack(const platform::EventRef& event);
