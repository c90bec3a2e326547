#pragma once

#include <chrono>
#include <optional>

namespace platform::desktop::guard {

// Wrong passwords typed to the guard, and the wait that the third one
// starts: the same wait as at the lock screen ("penalty" minutes, plus the
// six seconds the lock screen shows its picture and counts down to zero),
// so that killing the application buys no guesses. While waiting, typed
// keys are swallowed: no password is checked.
class Attempts {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kAllowed = 3;

    explicit Attempts(std::chrono::minutes penalty);

    // Goes on from the lock screen's count: `wrong` passwords so far, and
    // the end of its wait, if one runs.
    void carryOn(int wrong, std::optional<Clock::time_point> waitEnds, Clock::time_point now);
    // Counts a wrong password; true when it starts the wait.
    bool wrong(Clock::time_point now);
    // Ends a wait that is over; true when it ended now.
    bool endWaitIfOver(Clock::time_point now);
    bool waiting() const { return waitingUntil_.has_value(); }
    // Whole seconds of the wait still to run, rounded up.
    long secondsLeft(Clock::time_point now) const;
    Clock::time_point waitEnds() const { return waitingUntil_.value_or(Clock::time_point{}); }
    int total() const { return total_; }
    int left() const { return left_; }

    static std::chrono::seconds waitFor(std::chrono::minutes penalty);

private:
    std::chrono::seconds wait_;
    std::optional<Clock::time_point> waitingUntil_;
    int left_ = kAllowed;
    int total_ = 0;
};

}  // namespace platform::desktop::guard
