#include "platform/services/ScreenSaverSession.h"

#include "platform/foundation/Clock.h"

#include <algorithm>
#include <limits>

namespace platform {

void ScreenSaverSession::start(LockRequests::Handlers handlers) {
    handlers_ = std::move(handlers);
    started_ = true;
}

void ScreenSaverSession::stop() {
    started_ = false;
    handlers_ = {};
}

void ScreenSaverSession::lock() {
    if (started_ && handlers_.lock) handlers_.lock();
}

void ScreenSaverSession::simulateUserActivity() {
    if (started_ && handlers_.userActivity) handlers_.userActivity();
}

void ScreenSaverSession::showLog() {
    if (started_ && handlers_.showLog) handlers_.showLog();
}

void ScreenSaverSession::loginManagerUnlock() {
    if (started_ && handlers_.showPasswordPrompt) handlers_.showPasswordPrompt();
}

bool ScreenSaverSession::setLocked(bool locked) {
    if (locked == locked_) return false;
    locked_ = locked;
    lockedSince_ = Clock::current().now();
    return true;
}

std::uint32_t ScreenSaverSession::activeSeconds() const {
    if (!locked_) return 0;
    const double seconds = std::clamp(Clock::current().now() - lockedSince_, 0.0,
                                      static_cast<double>(std::numeric_limits<std::uint32_t>::max()));
    return static_cast<std::uint32_t>(seconds);
}

std::variant<std::uint32_t, Inhibitions::Refusal> ScreenSaverSession::inhibit(const std::string& caller,
                                                                              const std::string& application,
                                                                              const std::string& reason) {
    return inhibitions_.inhibit(caller, application, reason);
}

std::optional<Inhibitions::Refusal> ScreenSaverSession::uninhibit(const std::string& caller, std::uint32_t cookie) {
    const bool wereHeld = !inhibitions_.empty();
    auto refusal = inhibitions_.uninhibit(caller, cookie);
    tellIfInhibitionsEnded(wereHeld);
    return refusal;
}

void ScreenSaverSession::callerLeft(const std::string& caller) {
    const bool wereHeld = !inhibitions_.empty();
    inhibitions_.callerLeft(caller);
    tellIfInhibitionsEnded(wereHeld);
}

void ScreenSaverSession::tellIfInhibitionsEnded(bool wereHeld) {
    if (wereHeld && inhibitions_.empty() && started_ && handlers_.inhibitionsEnded) handlers_.inhibitionsEnded();
}

}  // namespace platform
