#include "platform/foundation/QueueRunLoop.h"

#include <algorithm>
#include <chrono>
#include <future>

namespace platform {

QueueRunLoop::QueueRunLoop() : mainThread_(std::this_thread::get_id()) {}

TimerRef QueueRunLoop::scheduleTimer(double interval, bool repeats, Timer::Action action) {
    auto timer = std::make_shared<Timer>(interval, repeats, std::move(action), Clock::current().now() + interval);
    timer->setInvalidationHook([this](Timer&) { wake_.notify_all(); });
    {
        std::lock_guard<std::mutex> guard(lock_);
        timers_.push_back(timer);
    }
    wake_.notify_all();
    return timer;
}

void QueueRunLoop::performOnMainThread(std::function<void()> fn, bool wait) {
    if (wait && isMainThread()) {
        fn();
        return;
    }
    if (!wait) {
        // Woken under the lock: once the main thread has taken the work, the
        // run loop may end at once, and another thread must not touch it
        // after that.
        std::lock_guard<std::mutex> guard(lock_);
        performs_.push_back(std::move(fn));
        wake_.notify_all();
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    {
        std::lock_guard<std::mutex> guard(lock_);
        performs_.push_back([fn = std::move(fn), done] {
            fn();
            done->set_value();
        });
    }
    wake_.notify_all();
    finished.wait();
}

bool QueueRunLoop::isMainThread() const { return std::this_thread::get_id() == mainThread_; }

void QueueRunLoop::servicePendingPerforms() {
    for (;;) {
        std::function<void()> fn;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (performs_.empty()) return;
            fn = std::move(performs_.front());
            performs_.pop_front();
        }
        fn();
    }
}

TimerRef QueueRunLoop::nextDueTimer(double limit) {
    std::lock_guard<std::mutex> guard(lock_);
    std::erase_if(timers_, [](const TimerRef& t) { return !t->isValid(); });
    // Earliest fire date first; among equal dates, the one scheduled first.
    auto earliest = std::min_element(timers_.begin(), timers_.end(), [](const TimerRef& a, const TimerRef& b) {
        return a->fireDate() < b->fireDate();
    });
    if (earliest == timers_.end() || (*earliest)->fireDate() > limit) return nullptr;
    TimerRef timer = *earliest;
    timers_.erase(earliest);
    return timer;
}

void QueueRunLoop::fireTimer(const TimerRef& timer) {
    if (timer->repeats()) {
        timer->setFireDate(timer->fireDate() + std::max(timer->interval(), 1e-6));
        std::lock_guard<std::mutex> guard(lock_);
        timers_.push_back(timer);
    }
    timer->runAction();
}

void QueueRunLoop::runFor(double seconds) {
    Clock& clock = Clock::current();
    const double end = clock.now() + seconds;
    servicePendingPerforms();
    while (TimerRef timer = nextDueTimer(end)) {
        if (clock.isManual() && timer->fireDate() > clock.now())
            static_cast<ManualClock&>(clock).set(timer->fireDate());
        fireTimer(timer);
        servicePendingPerforms();
    }
    if (clock.isManual()) {
        if (clock.now() < end) static_cast<ManualClock&>(clock).set(end);
    } else {
        while (clock.now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            servicePendingPerforms();
            while (TimerRef timer = nextDueTimer(clock.now())) fireTimer(timer);
        }
    }
    servicePendingPerforms();
}

bool QueueRunLoop::runUntil(const std::function<bool()>& done, double realTimeout) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(realTimeout);
    for (;;) {
        servicePendingPerforms();
        while (TimerRef timer = nextDueTimer(Clock::current().now())) {
            fireTimer(timer);
            servicePendingPerforms();
        }
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::unique_lock<std::mutex> guard(lock_);
        wake_.wait_for(guard, std::chrono::milliseconds(2), [this] { return !performs_.empty(); });
    }
}

void QueueRunLoop::run() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopped_ = false;
    }
    for (;;) {
        servicePendingPerforms();
        while (TimerRef timer = nextDueTimer(Clock::current().now())) {
            fireTimer(timer);
            servicePendingPerforms();
        }
        std::unique_lock<std::mutex> guard(lock_);
        if (stopped_) return;
        double nextFire = -1;
        for (const TimerRef& t : timers_)
            if (t->isValid() && (nextFire < 0 || t->fireDate() < nextFire)) nextFire = t->fireDate();
        auto ready = [this] { return stopped_ || !performs_.empty(); };
        if (nextFire < 0) {
            wake_.wait_for(guard, std::chrono::milliseconds(500), ready);
        } else {
            const double delay = std::max(0.0, nextFire - Clock::current().now());
            wake_.wait_for(guard, std::chrono::duration<double>(std::min(delay, 0.5)), ready);
        }
    }
}

void QueueRunLoop::stop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopped_ = true;
    }
    wake_.notify_all();
}

}  // namespace platform
