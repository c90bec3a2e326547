#pragma once

#include "platform/desktop/guard/Guard.h"
#include "platform/desktop/guard/WaylandPrompt.h"
#include "platform/desktop/wayland/LockClient.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace platform::desktop::guard {

// The guard of a Wayland session. The compositor keeps the session locked
// when the locking application dies (sway paints it red) and gives a new
// lock to the next client that asks: while the application is locked, the
// guard holds a connection of its own (read all the while, or the
// compositor drops it), and when the application dies, or stops answering
// and is killed for it, the guard takes the lock with a new
// ext_session_lock_v1, asks for the password itself, unlocks and starts the
// application again. The compositor may not have seen the death yet: a lock
// it refuses is asked for again after a short, growing pause.
class WaylandGuard {
public:
    explicit WaylandGuard(Options options);
    [[noreturn]] void run();

private:
    using Clock = std::chrono::steady_clock;

    int timeoutMilliseconds() const;
    void onTimeout();
    void onChannelReadable();
    void onApplicationGone();
    void engage();
    void standDown();
    bool connect();
    void stall();
    void takeOver();
    void askForLock();
    void onLocked();
    void onEnded(wayland::LockEnd end);
    void onKey(const wayland::TypedKey& press);
    void check(const std::string& password);
    [[noreturn]] void unlockAndRestart();
    [[noreturn]] void giveUp(const std::string& why);

    Options options_;
    int channel_;
    Watch watch_ = Watch::Unlocked;
    Clock::time_point lastHeartbeat_;
    std::optional<std::string> engagedDigest_;
    std::optional<std::string> digest_;
    std::unique_ptr<wayland::LockClient> client_;
    std::unique_ptr<WaylandPrompt> prompt_;
    std::optional<Clock::time_point> retryAt_;
    int refusals_ = 0;
    double takeOverStart_ = 0;
    int wrongAttempts_ = 0;
};

}  // namespace platform::desktop::guard
