#pragma once

#include "platform/foundation/Object.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace platform {

// A real thread with a stable number, cancellation as a request that the body
// checks, and an executing flag.
class Thread : public Object {
public:
    using Body = std::function<void(Thread&)>;

    explicit Thread(Body body);
    ~Thread() override;  // requests cancellation and joins

    void start();
    void cancel() { cancelled_.store(true); }
    bool isCancelled() const { return cancelled_.load(); }
    bool isExecuting() const { return executing_.load(); }
    // Waits at most `seconds` for the body to end; true when it has ended.
    bool waitUntilFinished(double seconds);
    void join();
    int number() const { return number_.load(); }

    // Number of the calling thread: 1 for the process's main thread, then 2, 3 …
    // in the order threads first ask.
    static int currentNumber();
    // Real time, whatever clock is installed.
    static void sleepFor(double seconds);
    // Runs `fn` on a new detached thread.
    static void detach(std::function<void()> fn);

private:
    Body body_;
    std::thread thread_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> executing_{false};
    std::mutex finishLock_;
    std::condition_variable finished_;
    std::atomic<int> number_{0};
};

}  // namespace platform
