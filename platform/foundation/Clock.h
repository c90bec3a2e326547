#pragma once

#include <atomic>
#include <cstdint>

namespace platform {

// Wall-clock time in seconds since the epoch. The application runs on the
// system clock; tests install a manual clock that moves only when told.
class Clock {
public:
    virtual ~Clock() = default;
    virtual double now() const = 0;
    virtual bool isManual() const { return false; }

    // The installed clock (the system clock unless a test installed another).
    static Clock& current();
    // Installs `clock` for the whole process; nullptr restores the system clock.
    static void install(Clock* clock);

    // Whole seconds since the epoch, as time() gives them.
    static std::int64_t seconds();

    // The length of a minute of the inactivity settings: 60 seconds. Only a
    // build with test hooks (never a package) lets the end-to-end tests
    // shorten it through TARNWICK_TEST_SECONDS_PER_MINUTE, so that they need
    // not wait out real minutes.
    static double secondsPerMinute();
};

class SystemClock final : public Clock {
public:
    double now() const override;
};

class ManualClock final : public Clock {
public:
    explicit ManualClock(double start = 1262401445.0) : now_(start) {}
    double now() const override { return now_.load(); }
    bool isManual() const override { return true; }
    void set(double t) { now_.store(t); }
    void advance(double seconds) { now_.store(now_.load() + seconds); }

private:
    std::atomic<double> now_;
};

}  // namespace platform
