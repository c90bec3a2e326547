#pragma once

#include "platform/desktop/guard/GuardLoop.h"
#include "platform/desktop/guard/WaylandPrompt.h"
#include "platform/desktop/wayland/LockClient.h"

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
class WaylandGuard final : public GuardLoop {
public:
    explicit WaylandGuard(Options options);

private:
    ServerPoll serverPoll() override;
    void serverReady(bool readable) override;
    int timeoutMilliseconds() const override;
    void onTimeout() override;
    void onApplicationGone() override;
    void prepare() override;
    void letGo() override;
    bool connect();
    void stall() override;
    void holdSession() override;
    void showPrompt() override;
    void askForLock();
    void onLocked();
    void onEnded(wayland::LockEnd end);
    void onKey(const wayland::TypedKey& press);
    void say(const std::string& status) override;
    std::string takeTyped() override;
    void clearTyped() override;
    void redraw() override;
    [[noreturn]] void unlockAndRestart() override;
    [[noreturn]] void giveUp(const std::string& why);

    std::unique_ptr<wayland::LockClient> client_;
    std::unique_ptr<WaylandPrompt> prompt_;
    std::optional<Clock::time_point> retryAt_;
    int refusals_ = 0;
};

}  // namespace platform::desktop::guard
