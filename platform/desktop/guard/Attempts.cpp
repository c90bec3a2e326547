#include "platform/desktop/guard/Attempts.h"

#include <algorithm>

namespace platform::desktop::guard {

namespace {

// The lock screen keeps its picture up for five ticks of its one-second
// timer, counts the penalty down, and gives the field back at the tick
// after zero.
constexpr std::chrono::seconds kPictureAndLastTick{6};

}  // namespace

std::chrono::seconds Attempts::waitFor(std::chrono::minutes penalty) {
    return std::max(penalty, std::chrono::minutes(0)) + kPictureAndLastTick;
}

Attempts::Attempts(std::chrono::minutes penalty) : wait_(waitFor(penalty)) {}

void Attempts::carryOn(int wrong, std::optional<Clock::time_point> waitEnds, Clock::time_point now) {
    total_ = std::max(wrong, 0);
    if (waitEnds && now < *waitEnds) {
        waitingUntil_ = *waitEnds;
        left_ = 0;
        return;
    }
    // A third wrong password without a wait to go: the wait is over.
    left_ = total_ >= kAllowed ? kAllowed : kAllowed - total_;
}

bool Attempts::wrong(Clock::time_point now) {
    ++total_;
    if (waiting() || --left_ > 0) return false;
    waitingUntil_ = now + wait_;
    return true;
}

bool Attempts::endWaitIfOver(Clock::time_point now) {
    if (!waiting() || now < *waitingUntil_) return false;
    waitingUntil_.reset();
    left_ = kAllowed;
    return true;
}

long Attempts::secondsLeft(Clock::time_point now) const {
    if (!waiting() || now >= *waitingUntil_) return 0;
    return static_cast<long>(std::chrono::ceil<std::chrono::seconds>(*waitingUntil_ - now).count());
}

}  // namespace platform::desktop::guard
