#include "app/Tarnwick.h"

#include "app/FullScreenWindow.h"
#include "shared/TarnwickConstants.h"
#include "platform/foundation/Clock.h"
#include "app/TarnwickDefaults.h"
#include "platform/services/Displays.h"
#include "platform/services/LockRequests.h"
#include "platform/services/Workspace.h"
#include "shared/QMASL.h"

#include <utility>

namespace {

constexpr double kFadeReservationSeconds = 15.0;
// How soon an inactivity lock that could not be made tries again.
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
    states.setDim(DimState::Dimmed);
}

void Tarnwick::putDisplayToSleep() {
    auto& power = platform::DisplayPower::shared();
    if (!power.hasPowerEntry()) {
        QMLog(7, "Failed to grab registry entry for IOService:/IOResources/IODisplayWrangler");
        return;
    }
    power.requestIdle();
}

namespace {

// The fade's number as the log has always counted it: 0 idle, 1 faded out
// (or on the way), 2 fading back in.
int fadeNumber(FadeState state) {
    switch (state) {
        case FadeState::Idle: return 0;
        case FadeState::FadingOut:
        case FadeState::FadedOut: return 1;
        case FadeState::FadingIn: return 2;
    }
    return 0;
}

}  // namespace

bool Tarnwick::fadeOut(float level) {
    if (!defaults().boolForKey(kPrefFadingEnabled)) return true;
    QMLog(7, "-> Fading out");
    if (!states.beginFadeOut()) {
        QMLog(3, "fadeLock 0 locked: %d", fadeNumber(states.fade()));
        return false;
    }
    QMLog(7, "fadeLock 0 set to 1");

    auto& displays = platform::Displays::shared();
    bool fading = false;
    tok = 0;
    if (int error = displays.acquireFadeReservation(kFadeReservationSeconds, tok)) {
        QMLog(3, "Error acquiring display fade reservation: %ld; token: %ld", static_cast<long>(error),
              static_cast<long>(tok));
        tok = 0;
    } else if (int error = displays.fade(tok, kFadeSeconds, 0.0, 1.0, level, level, level, false)) {
        QMLog(3, "Error fading display: %ld", static_cast<long>(error));
    } else {
        fading = true;
    }
    // The displays stay covered by the colour, and the reservation held,
    // until the fade-in.
    auto finished = [this] {
        if (!states.fadedOut()) return;
        QMLog(7, "<- Fading out");
        if (const std::optional<float> next = std::exchange(fadeInAfterFadeOut_, std::nullopt)) fadeIn(*next);
    };
    if (fading)
        performAfterDelay(kFadeSeconds, finished);
    else
        finished();
    return true;
}

void Tarnwick::fadeIn(float level) {
    // A fade-out made before fading was switched off is still completed, or
    // the displays would stay covered and every later fade-out be refused.
    if (!defaults().boolForKey(kPrefFadingEnabled) && states.fade() == FadeState::Idle) {
        states.acceptInput();
        return;
    }
    if (states.fade() == FadeState::FadingOut) {
        fadeInAfterFadeOut_ = level;
        return;
    }
    QMLog(7, "-> Fading in");
    if (!states.beginFadeIn()) {
        QMLog(3, "fadeLock 1 locked: %d", fadeNumber(states.fade()));
        return;
    }
    QMLog(7, "fadeLock 1 set to 2");

    bool fading = false;
    if (tok != 0) {
        // A failed fade keeps the reservation; it lapses by itself.
        if (int error = platform::Displays::shared().fade(tok, kFadeSeconds, 1.0, 0.0, level, level, level, false))
            QMLog(3, "Error fading display: %ld", static_cast<long>(error));
        else
            fading = true;
    }
    auto finished = [this, fading] {
        if (fading) {
            if (int releaseError = platform::Displays::shared().releaseFadeReservation(tok))
                QMLog(3, "Error releasing display fade reservation: %ld", static_cast<long>(releaseError));
        }
        if (!states.fadedIn()) return;
        QMLog(7, "fadeLock 2 set to 0");
        states.acceptInput();
        QMLog(7, "<- Fading in");
    };
    if (fading)
        performAfterDelay(kFadeSeconds, finished);
    else
        finished();
}

// The machine sleeps only once the lock holds (or once the login manager
// stops waiting): a lock that cannot be made now is tried again meanwhile.
void Tarnwick::computerWillSleepEvent() {
    QMLog(7, "WILL SLEEP");
    setSleeping(true);
    const bool lockOnSleep = defaults().boolForKey(kPrefLockOnSleepComputer);
    if (lockOnSleep) {
        lockScreenFor(LockTrigger::Sleep);
        stopTimer(LockTimer::InputLimit);
        stopTimer(LockTimer::Dim);
    }
    if ((!lockOnSleep || states.isLocked()) && platform::Workspace::isInstalled())
        platform::Workspace::shared().sleepMayProceed();
}

void Tarnwick::computerDidWakeEvent() {
    QMLog(7, "DID WAKE");
    if (defaults().boolForKey(kPrefLockOnSleepComputer)) {
        if (platform::Clock::seconds() - lockTime < defaults().integerForKey(kPrefLockScreenDelay)) unlockScreen();
    }
    setSleeping(false);
}

void Tarnwick::bluetoothNotification(const platform::NotificationRef& notification) {
    if (notification->name() == kLockRequest) {
        performOnMainThreadWithoutWaiting([this] { lockScreenFor(LockTrigger::Bluetooth); });
    } else if (notification->name() == kUnlockRequest) {
        // The device is back: a lock still waiting for it is not wanted.
        performOnMainThreadWithoutWaiting([this] {
            stopRetrying(LockTrigger::Bluetooth);
            unlockScreen();
        });
    }
}
