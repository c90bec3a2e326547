#include "app/Tarnwick.h"

#include "app/FullScreenWindow.h"
#include "shared/TarnwickConstants.h"
#include "platform/foundation/Clock.h"
#include "app/TarnwickDefaults.h"
#include "platform/services/Displays.h"
#include "platform/services/LockRequests.h"
#include "shared/QMASL.h"

namespace {

constexpr double kFadeReservationSeconds = 15.0;
// How soon an inactivity lock that could not capture the displays tries again.
constexpr double kInactivityLockRetrySeconds = 3.0;
constexpr double kFadeSeconds = 0.5;
// Timers fire a little early or late and the display server counts in
// milliseconds: a difference below this is no sign of activity.
constexpr double kIdleToleranceSeconds = 1.0;

// Schedules the inactivity timer to fire in `fireIn` seconds and then to lock
// if the session has been without activity for `idleSecondsToLock` (0: lock
// without asking).
void scheduleIdleTimer(double fireIn, double idleSecondsToLock) {
    if (idleTimer) idleTimer->invalidate();
    idleTimer = platform::RunLoop::main().scheduleTimer(fireIn, false, [idleSecondsToLock](platform::Timer& timer) {
        if (tarnwick) tarnwick->inactivityTimerFired(timer, idleSecondsToLock);
    });
}

// Programs that keep the screen awake through the display server's
// screen-saver reset rather than by input are not seen by the event tap; the
// server's idle counter is asked once the timer fires, so that an idle
// session never wakes up to poll it. The seconds still to wait, if the
// server saw activity the timer did not.
std::optional<double> idleSecondsStillNeeded(double idleSecondsToLock) {
    if (idleSecondsToLock <= 0 || !platform::IdleTime::isInstalled()) return std::nullopt;
    const std::optional<double> idle = platform::IdleTime::shared().secondsSinceActivity();
    if (!idle || *idle < 0) return std::nullopt;
    const double remaining = idleSecondsToLock - *idle;
    if (remaining < kIdleToleranceSeconds) return std::nullopt;
    return remaining;
}

std::optional<std::string> inhibitingApplication() {
    if (!platform::LockRequests::isInstalled()) return std::nullopt;
    return platform::LockRequests::shared().inhibitingApplication();
}

}  // namespace

platform::EventRef EventTapCallBack(const platform::EventRef& event) {
    Tarnwick::restartIdleTimer();
    return event;
}

void Tarnwick::restartIdleTimer() {
    if (idleTimer) idleTimer->invalidate();
    idleTimer.reset();
    if (::autoActivateMinutes > 0) {
        const double interval = static_cast<double>(::autoActivateMinutes) * platform::Clock::secondsPerMinute();
        scheduleIdleTimer(interval, interval);
    }
}

void Tarnwick::inactivityTimerFired(platform::Timer& timer, double idleSecondsToLock) {
    if (const std::optional<double> remaining = idleSecondsStillNeeded(idleSecondsToLock)) {
        QMLog(7, "Activity seen by the display server; locking in %d seconds at the earliest",
              static_cast<int>(*remaining));
        scheduleIdleTimer(*remaining, idleSecondsToLock);
        return;
    }
    // Kept open as while an excepted application is frontmost; the end of the
    // last inhibition starts the interval again.
    if (const std::optional<std::string> application = inhibitingApplication()) {
        QMLog(6, "Not locking computer. %@ keeps the screen awake.", *application);
        return;
    }
    checkAndLockScreen(&timer);
}

bool Tarnwick::isInactivityLock(const platform::Object* sender) {
    return sender && idleTimer && sender == idleTimer.get();
}

void Tarnwick::retryInactivityLock() {
    // The user is away and another client holds the keyboard (an open menu,
    // a stuck grab): the screen must not stay open because of it. Input
    // restarts the full interval instead, as the user is then back.
    QMLog(3, "Could not lock after inactivity; trying again in %d seconds",
          static_cast<int>(kInactivityLockRetrySeconds));
    scheduleIdleTimer(kInactivityLockRetrySeconds, 0);
}

void Tarnwick::dimScreen() {
    const auto mode = defaults().integerForKey(kPrefDimScreenMode);
    if (mode == 1) {
        imageView->setAlphaValue(0.3);
    } else if (mode == 2) {
        imageView->setAlphaValue(0.0);
    } else {
        imageView->setAlphaValue(0.3);
        putDisplayToSleep();
    }
    dim_status.store(0);
}

void Tarnwick::putDisplayToSleep() {
    auto& power = platform::DisplayPower::shared();
    if (!power.hasPowerEntry()) {
        QMLog(7, "Failed to grab registry entry for IOService:/IOResources/IODisplayWrangler");
        return;
    }
    power.requestIdle();
}

std::unique_lock<std::recursive_mutex> Tarnwick::lockWindowGuard() const {
    if (!mainWindow) return {};
    return std::unique_lock<std::recursive_mutex>(mainWindow->objectLock());
}

bool Tarnwick::fadeOut(float level) {
    if (!defaults().boolForKey(kPrefFadingEnabled)) return true;
    const auto guard = lockWindowGuard();
    QMLog(7, "-> Fading out");

    std::int32_t idle = 0;
    if (!fadeLock.compare_exchange_strong(idle, 1, std::memory_order_seq_cst)) {
        QMLog(3, "fadeLock 0 locked: %d", idle);
        return false;
    }
    QMLog(7, "fadeLock 0 set to 1");

    auto& displays = platform::Displays::shared();
    tok = 0;
    if (int error = displays.acquireFadeReservation(kFadeReservationSeconds, tok)) {
        QMLog(3, "Error acquiring display fade reservation: %ld; token: %ld", static_cast<long>(error),
              static_cast<long>(tok));
        tok = 0;
    } else if (int error = displays.fade(tok, kFadeSeconds, 0.0, 1.0, level, level, level, true)) {
        QMLog(3, "Error fading display: %ld", static_cast<long>(error));
    }
    QMLog(7, "<- Fading out");
    return true;
}

void Tarnwick::fadeIn(float level) {
    // A fade-out made before fading was switched off is still completed, or
    // the displays would stay covered and every later fade-out be refused.
    if (!defaults().boolForKey(kPrefFadingEnabled) && fadeLock.load() == 0) {
        inputAccepted.store(true);
        return;
    }
    const auto guard = lockWindowGuard();
    QMLog(7, "-> Fading in");

    std::int32_t fadedOut = 1;
    if (!fadeLock.compare_exchange_strong(fadedOut, 2, std::memory_order_seq_cst)) {
        QMLog(3, "fadeLock 1 locked: %d", fadedOut);
        return;
    }
    QMLog(7, "fadeLock 1 set to 2");

    if (tok != 0) {
        auto& displays = platform::Displays::shared();
        // A failed fade keeps the reservation; it lapses by itself.
        if (int error = displays.fade(tok, kFadeSeconds, 1.0, 0.0, level, level, level, true))
            QMLog(3, "Error fading display: %ld", static_cast<long>(error));
        else if (int releaseError = displays.releaseFadeReservation(tok))
            QMLog(3, "Error releasing display fade reservation: %ld", static_cast<long>(releaseError));
    }

    std::int32_t fadingIn = 2;
    if (!fadeLock.compare_exchange_strong(fadingIn, 0, std::memory_order_seq_cst)) {
        QMLog(3, "fadeLock 2 locked: %d", fadingIn);
        return;
    }
    QMLog(7, "fadeLock 2 set to 0");
    inputAccepted.store(true);
    QMLog(7, "<- Fading in");
}

void Tarnwick::computerWillSleepEvent() {
    QMLog(7, "WILL SLEEP");
    setSleeping(true);
    if (defaults().boolForKey(kPrefLockOnSleepComputer)) {
        lockScreen(this);
        stopTimer(2);
        stopTimer(1);
    }
}

void Tarnwick::computerDidWakeEvent() {
    QMLog(7, "DID WAKE");
    if (defaults().boolForKey(kPrefLockOnSleepComputer)) {
        if (platform::Clock::seconds() - lockTime < defaults().integerForKey(kPrefLockScreenDelay)) unlockScreen();
    }
    setSleeping(false);
}

void Tarnwick::bluetoothNotification(const platform::NotificationRef& notification) {
    if (notification->name() == kLockRequest)
        performOnMainThreadWithoutWaiting([this] { lockScreen(this); });
    else if (notification->name() == kUnlockRequest)
        performOnMainThreadWithoutWaiting([this] { unlockScreen(); });
}
