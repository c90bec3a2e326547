#pragma once

#include "platform/services/LockRequests.h"
#include "platform/services/ScreenSaverSession.h"

#include <optional>
#include <string>
#include <vector>

namespace platform::headless {

// The desktop's requests in memory: tests play the other programs of the
// session and the login manager, and read what the application announced.
// Main thread only.
class HeadlessLockRequests final : public LockRequests {
public:
    void start(Handlers handlers) override { session_.start(std::move(handlers)); }
    void stop() override { session_.stop(); }
    void lockStateChanged(bool locked) override;
    std::optional<std::string> inhibitingApplication() const override { return session_.inhibitingApplication(); }

    // What programs and the login manager do.
    ScreenSaverSession& session() { return session_; }

    bool isStarted() const { return session_.isStarted(); }
    // Each change of the announced lock state, in order.
    const std::vector<bool>& announcements() const { return announcements_; }

private:
    ScreenSaverSession session_;
    std::vector<bool> announcements_;
};

// The display server's idle counter on the manual clock: a screen-saver
// reset sets it back to zero. Says nothing until the first reset.
class HeadlessIdleTime final : public IdleTime {
public:
    std::optional<double> secondsSinceActivity() const override;
    void resetScreenSaver();

private:
    std::optional<double> lastReset_;
};

}  // namespace platform::headless
