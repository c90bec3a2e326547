#include "platform/foundation/RunLoop.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {
std::atomic<RunLoop*> mainLoop{nullptr};
}

Timer::Timer(double interval, bool repeats, Action action, double fireDate)
    : interval_(interval), repeats_(repeats), action_(std::move(action)), fireDate_(fireDate) {}

bool Timer::isValid() const {
    std::lock_guard<std::mutex> guard(stateLock_);
    return valid_;
}

void Timer::invalidate() {
    std::function<void(Timer&)> hook;
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        if (!valid_) return;
        valid_ = false;
        hook = invalidationHook_;
    }
    if (hook) hook(*this);
}

double Timer::fireDate() const {
    std::lock_guard<std::mutex> guard(stateLock_);
    return fireDate_;
}

void Timer::setFireDate(double t) {
    std::lock_guard<std::mutex> guard(stateLock_);
    fireDate_ = t;
}

void Timer::setInvalidationHook(std::function<void(Timer&)> hook) {
    std::lock_guard<std::mutex> guard(stateLock_);
    invalidationHook_ = std::move(hook);
}

void Timer::fire() {
    if (!isValid()) return;
    if (!repeats_) invalidate();
    // Keep the timer alive while its action runs, even if the action drops the
    // last reference the owner held.
    auto self = std::static_pointer_cast<Timer>(shared_from_this());
    action_(*self);
}

void Timer::runAction() { fire(); }

RunLoop& RunLoop::main() {
    RunLoop* loop = mainLoop.load();
    if (!loop) {
        std::fputs("Tarnwick: no main run loop installed\n", stderr);
        std::abort();
    }
    return *loop;
}

void RunLoop::install(RunLoop* loop) { mainLoop.store(loop); }

bool RunLoop::isInstalled() { return mainLoop.load() != nullptr; }

TimerRef RunLoop::performAfterDelay(double delay, std::function<void()> fn) {
    return scheduleTimer(delay, false, [fn = std::move(fn)](Timer&) { fn(); });
}

}  // namespace platform
