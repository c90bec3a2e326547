#include "platform/headless/HeadlessLockRequests.h"

#include "platform/foundation/Clock.h"

namespace platform::headless {

void HeadlessLockRequests::lockStateChanged(bool locked) {
    if (session_.setLocked(locked)) announcements_.push_back(locked);
}

std::optional<double> HeadlessIdleTime::secondsSinceActivity() const {
    if (!lastReset_) return std::nullopt;
    return Clock::current().now() - *lastReset_;
}

void HeadlessIdleTime::resetScreenSaver() { lastReset_ = Clock::current().now(); }

}  // namespace platform::headless
