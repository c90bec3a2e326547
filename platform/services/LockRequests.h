#pragma once

#include "platform/services/Service.h"

#include <functional>
#include <optional>
#include <string>

namespace platform {

// What the rest of the desktop asks of the screen locker, and what it is told
// back. Other programs of the session ask for a lock, report activity and hold
// inhibitions of the inactivity lock; the login manager asks the session to
// lock or to unlock. Nothing that arrives here ever unlocks: an unlock request
// from outside brings up the password prompt, no more. Handlers run on the
// main thread.
class LockRequests : public Service<LockRequests> {
public:
    struct Handlers {
        std::function<void()> lock;
        // The login manager asked to unlock: the lock screen asks for the
        // password, as at the first key press.
        std::function<void()> showPasswordPrompt;
        // Counts as input for the inactivity timer.
        std::function<void()> userActivity;
        // The last inhibition ended: idleness counts from now.
        std::function<void()> inhibitionsEnded;
        // The user asked for the event log window from the command line,
        // where the display server gives no hot key (Wayland).
        std::function<void()> showLog;
    };

    virtual ~LockRequests() = default;
    // Starts answering the desktop; until then (and after stop) nobody can
    // reach the handlers.
    virtual void start(Handlers handlers) = 0;
    virtual void stop() = 0;
    // The lock state as the application sees it, announced to the desktop.
    virtual void lockStateChanged(bool locked) = 0;
    // The application of one inhibition that is held, if any.
    virtual std::optional<std::string> inhibitingApplication() const = 0;
};

// How long the session has been without activity as the display server
// counts it: input of any device and the screen-saver resets of programs
// that keep the screen awake.
class IdleTime : public Service<IdleTime> {
public:
    virtual ~IdleTime() = default;
    // None when the display server does not say.
    virtual std::optional<double> secondsSinceActivity() const = 0;
};

}  // namespace platform
