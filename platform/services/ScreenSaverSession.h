#pragma once

#include "platform/services/Inhibitions.h"
#include "platform/services/LockRequests.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace platform {

// The state behind the desktop's screen-saver interface, whatever carries the
// requests: the application's handlers, the lock state as last announced and
// the inhibitions held. Main thread only.
class ScreenSaverSession {
public:
    void start(LockRequests::Handlers handlers);
    void stop();
    bool isStarted() const { return started_; }

    // Requests; they reach the handlers only while started.
    void lock();
    void simulateUserActivity();
    void loginManagerUnlock();
    void showLog();

    // True when the state changed.
    bool setLocked(bool locked);
    bool isActive() const { return locked_; }
    // Whole seconds since the lock, 0 while unlocked.
    std::uint32_t activeSeconds() const;

    std::variant<std::uint32_t, Inhibitions::Refusal> inhibit(const std::string& caller, const std::string& application,
                                                              const std::string& reason);
    std::optional<Inhibitions::Refusal> uninhibit(const std::string& caller, std::uint32_t cookie);
    void callerLeft(const std::string& caller);
    std::optional<std::string> inhibitingApplication() const { return inhibitions_.anyApplication(); }
    std::size_t inhibitionsOf(const std::string& caller) const { return inhibitions_.countOf(caller); }

private:
    void tellIfInhibitionsEnded(bool wereHeld);

    LockRequests::Handlers handlers_;
    bool started_ = false;
    bool locked_ = false;
    double lockedSince_ = 0;
    Inhibitions inhibitions_;
};

}  // namespace platform
