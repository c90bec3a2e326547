#pragma once

#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

// The run loop of the headless backend: an ordered timer queue and a queue of
// performs, driven by the installed clock. With a manual clock, `runFor`
// advances time from timer to timer, so minutes pass in microseconds.
class QueueRunLoop final : public RunLoop {
public:
    QueueRunLoop();  // the calling thread becomes the main thread

    TimerRef scheduleTimer(double interval, bool repeats, Timer::Action action) override;
    void performOnMainThread(std::function<void()> fn, bool wait) override;
    bool isMainThread() const override;
    void servicePendingPerforms() override;
    void run() override;
    void stop() override;

    // Runs everything due within the next `seconds`, in time order. Under a
    // manual clock the clock is moved to each timer's time before it fires and
    // ends at now + seconds.
    void runFor(double seconds);
    // Pumps performs (and due timers, without moving a manual clock) until
    // `done` holds or `realTimeout` seconds of real time have passed.
    bool runUntil(const std::function<bool()>& done, double realTimeout = 5.0);

private:
    TimerRef nextDueTimer(double limit);
    void fireTimer(const TimerRef& timer);

    std::thread::id mainThread_;
    mutable std::mutex lock_;
    std::condition_variable wake_;
    std::vector<TimerRef> timers_;
    std::deque<std::function<void()>> performs_;
    bool stopped_ = false;
};

}  // namespace platform
