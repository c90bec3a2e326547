#include "platform/foundation/Date.h"

#include "platform/foundation/Clock.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace platform {

Date Date::now() { return fromSeconds(Clock::current().now()); }

Date Date::fromMilliseconds(std::int64_t ms) { return Date(ms); }

Date Date::fromSeconds(double seconds) { return Date(static_cast<std::int64_t>(std::llround(seconds * 1000.0))); }

Date Date::fromLocalComponents(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    const std::time_t t = std::mktime(&parts);
    return Date(static_cast<std::int64_t>(t) * 1000 + millisecond);
}

std::string Date::format(const std::string& calendarFormat) const {
    // Floor division keeps dates before the epoch on the right second.
    std::int64_t seconds = ms_ / 1000;
    int millis = static_cast<int>(ms_ % 1000);
    if (millis < 0) {
        millis += 1000;
        seconds -= 1;
    }
    char millisText[4];
    std::snprintf(millisText, sizeof millisText, "%03d", millis);

    std::string pattern;
    for (std::size_t i = 0; i < calendarFormat.size(); ++i) {
        if (calendarFormat[i] == '%' && i + 1 < calendarFormat.size()) {
            if (calendarFormat[i + 1] == 'F') {
                pattern += millisText;
                ++i;
                continue;
            }
            pattern += calendarFormat[i];
            pattern += calendarFormat[i + 1];
            ++i;
            continue;
        }
        pattern += calendarFormat[i];
    }

    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&t, &local);
    char out[256];
    const std::size_t n = std::strftime(out, sizeof out, pattern.c_str(), &local);
    return std::string(out, n);
}

}  // namespace platform
