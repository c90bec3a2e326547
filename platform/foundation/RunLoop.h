#pragma once

#include "platform/foundation/Object.h"

#include <functional>
#include <memory>

namespace platform {

class RunLoop;

// A timer on the main run loop. One-shot timers become invalid once fired;
// an invalidated timer never fires again.
class Timer : public Object {
public:
    using Action = std::function<void(Timer&)>;

    double interval() const { return interval_; }
    bool repeats() const { return repeats_; }
    bool isValid() const;
    void invalidate();
    // Fires the action now, outside the schedule; a one-shot timer is then spent.
    void fire();
    double fireDate() const;

    // Used by run-loop implementations.
    Timer(double interval, bool repeats, Action action, double fireDate);
    void setFireDate(double t);
    // Runs the action if the timer is valid; a one-shot timer is spent first,
    // so the action already sees it invalid.
    void runAction();
    void setInvalidationHook(std::function<void(Timer&)> hook);

private:
    const double interval_;
    const bool repeats_;
    Action action_;
    mutable std::mutex stateLock_;
    bool valid_ = true;
    double fireDate_;
    std::function<void(Timer&)> invalidationHook_;
};

using TimerRef = std::shared_ptr<Timer>;

// The main run loop: timers, delayed performs and work handed over from other
// threads all run on the main thread, one at a time.
class RunLoop {
public:
    virtual ~RunLoop() = default;

    static RunLoop& main();
    // Installs the backend's loop; the caller keeps ownership.
    static void install(RunLoop* loop);
    static bool isInstalled();

    // Schedules a timer `interval` seconds from now on the main run loop.
    virtual TimerRef scheduleTimer(double interval, bool repeats, Timer::Action action) = 0;
    TimerRef performAfterDelay(double delay, std::function<void()> fn);

    // Runs `fn` on the main thread. With `wait` the caller blocks until it has
    // run; called on the main thread with `wait` it runs at once.
    virtual void performOnMainThread(std::function<void()> fn, bool wait) = 0;
    virtual bool isMainThread() const = 0;

    // Runs the work handed over from other threads now; used by the main
    // thread while it waits for another thread, so neither waits forever.
    virtual void servicePendingPerforms() = 0;

    virtual void run() = 0;
    virtual void stop() = 0;
};

}  // namespace platform
