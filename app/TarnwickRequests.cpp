#include "app/Tarnwick.h"

#include "app/FullScreenWindow.h"
#include "platform/services/LockRequests.h"
#include "platform/ui/Event.h"
#include "shared/QMASL.h"

void Tarnwick::startAnsweringDesktop() {
    if (!platform::LockRequests::isInstalled() || answeringDesktop_) return;
    platform::LockRequests::Handlers handlers;
    // Carried out after the request has been answered: a lock may wait in an
    // alert, and the asking program must not wait with it.
    handlers.lock = [this] { performOnMainThreadWithoutWaiting([this] { lockScreen(this); }); };
    handlers.showPasswordPrompt = [this] {
        performOnMainThreadWithoutWaiting([this] { loginManagerAskedToUnlock(); });
    };
    handlers.userActivity = [] { restartIdleTimer(); };
    handlers.inhibitionsEnded = [] { restartIdleTimer(); };
    // A window shown under the lock would sit there unseen.
    handlers.showLog = [this] {
        performOnMainThreadWithoutWaiting([this] {
            if (states.isUnlocked()) showLogWindow(this);
        });
    };
    platform::LockRequests::shared().start(std::move(handlers));
    answeringDesktop_ = true;
    announceLockState(states.isLocked());
}

void Tarnwick::stopAnsweringDesktop() {
    if (!answeringDesktop_) return;
    answeringDesktop_ = false;
    if (platform::LockRequests::isInstalled()) platform::LockRequests::shared().stop();
}

void Tarnwick::announceLockState(bool locked) {
    if (answeringDesktop_ && platform::LockRequests::isInstalled())
        platform::LockRequests::shared().lockStateChanged(locked);
}

void Tarnwick::loginManagerAskedToUnlock() {
    // Any program of the user may have the login manager ask, without a
    // password: the request wakes the lock screen as a touch of the mouse
    // does, and only the password unlocks.
    if (!states.isLocked() || !mainWindow) return;
    QMLog(6, "The login manager asked to unlock the screen; the password is needed");
    gotEvent(platform::Event::ofType(platform::Event::Type::MouseMoved));
}
