#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include "platform/desktop/qt/QtRunLoop.h"

#include "platform/foundation/Clock.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace platform::desktop {

QtRunLoop::QtRunLoop() : mainThread_(std::this_thread::get_id()) {}

QtRunLoop::~QtRunLoop() {
    for (auto& [id, entry] : timers_) delete entry.first;
}

bool QtRunLoop::isMainThread() const { return std::this_thread::get_id() == mainThread_; }

TimerRef QtRunLoop::scheduleTimer(double interval, bool repeats, Timer::Action action) {
    auto timer = std::make_shared<Timer>(interval, repeats, std::move(action), Clock::seconds() + interval);
    if (isMainThread())
        arm(timer);
    else
        QMetaObject::invokeMethod(
            &context_, [this, timer] { arm(timer); }, Qt::QueuedConnection);
    return timer;
}

void QtRunLoop::arm(const TimerRef& timer) {
    if (!timer->isValid()) return;
    const int id = nextId_++;
    auto* qtimer = new QTimer(&context_);
    qtimer->setTimerType(Qt::PreciseTimer);
    qtimer->setSingleShot(!timer->repeats());
    // Qt counts milliseconds in an int: a longer interval is as long as it can
    // hold, never an overflow into a timer that fires at once.
    const double milliseconds = std::clamp(timer->interval() * 1000.0, 0.0, double(std::numeric_limits<int>::max()));
    qtimer->setInterval(std::isnan(milliseconds) ? 0 : static_cast<int>(milliseconds));
    // The loop keeps the timer alive while it is valid, as the owner may
    // schedule and forget it.
    timers_[id] = {qtimer, timer};
    QObject::connect(qtimer, &QTimer::timeout, &context_, [this, id] {
        auto it = timers_.find(id);
        if (it == timers_.end()) return;
        TimerRef fired = it->second.second;
        if (fired->repeats()) fired->setFireDate(Clock::seconds() + fired->interval());
        fired->runAction();
        if (!fired->isValid()) disarm(id);
    });
    timer->setInvalidationHook([this, id](Timer&) {
        if (isMainThread())
            disarm(id);
        else
            QMetaObject::invokeMethod(
                &context_, [this, id] { disarm(id); }, Qt::QueuedConnection);
    });
    qtimer->start();
}

void QtRunLoop::disarm(int id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second.first->stop();
    it->second.first->deleteLater();
    timers_.erase(it);
}

void QtRunLoop::performOnMainThread(std::function<void()> fn, bool wait) {
    if (isMainThread()) {
        if (wait)
            fn();
        else
            QMetaObject::invokeMethod(&context_, std::move(fn), Qt::QueuedConnection);
        return;
    }
    QMetaObject::invokeMethod(&context_, std::move(fn), wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

void QtRunLoop::servicePendingPerforms() {
    if (isMainThread()) QCoreApplication::sendPostedEvents(&context_, QEvent::MetaCall);
}

void QtRunLoop::run() { QCoreApplication::exec(); }

void QtRunLoop::stop() {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
}

}  // namespace platform::desktop
