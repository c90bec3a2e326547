#pragma once

#include <QObject>

#include "platform/foundation/RunLoop.h"

#include <map>
#include <thread>

class QTimer;

namespace platform::desktop {

// The main run loop on Qt's event loop: timers are QTimers on the main
// thread, performs from other threads are queued (or blocking-queued) calls.
class QtRunLoop final : public RunLoop {
public:
    QtRunLoop();  // the calling thread, Qt's main thread, becomes the main thread
    ~QtRunLoop() override;

    TimerRef scheduleTimer(double interval, bool repeats, Timer::Action action) override;
    void performOnMainThread(std::function<void()> fn, bool wait) override;
    bool isMainThread() const override;
    void servicePendingPerforms() override;
    void run() override;
    void stop() override;

private:
    void arm(const TimerRef& timer);
    void disarm(int id);

    QObject context_;
    std::thread::id mainThread_;
    std::map<int, std::pair<QTimer*, TimerRef>> timers_;
    int nextId_ = 1;
};

}  // namespace platform::desktop
