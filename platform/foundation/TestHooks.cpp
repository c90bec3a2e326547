#include "platform/foundation/Clock.h"

#include <cmath>
#include <cstdlib>

namespace platform {

namespace {

constexpr double kSecondsPerMinute = 60.0;

#ifdef TARNWICK_TEST_HOOKS
double shortenedMinute() {
    const char* value = std::getenv("TARNWICK_TEST_SECONDS_PER_MINUTE");
    if (!value || !*value) return kSecondsPerMinute;
    char* end = nullptr;
    const double seconds = std::strtod(value, &end);
    if (*end != '\0' || !std::isfinite(seconds) || seconds <= 0 || seconds > kSecondsPerMinute)
        return kSecondsPerMinute;
    return seconds;
}
#endif

}  // namespace

double Clock::secondsPerMinute() {
#ifdef TARNWICK_TEST_HOOKS
    static const double seconds = shortenedMinute();
    return seconds;
#else
    return kSecondsPerMinute;
#endif
}

}  // namespace platform
