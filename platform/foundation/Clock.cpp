#include "platform/foundation/Clock.h"

#include <chrono>
#include <cmath>

namespace platform {

namespace {
SystemClock systemClock;
std::atomic<Clock*> installedClock{&systemClock};
}  // namespace

Clock& Clock::current() { return *installedClock.load(); }

void Clock::install(Clock* clock) { installedClock.store(clock ? clock : &systemClock); }

std::int64_t Clock::seconds() { return static_cast<std::int64_t>(std::floor(current().now())); }

double SystemClock::now() const {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

}  // namespace platform
