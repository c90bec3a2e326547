#pragma once

#include <cstdint>
#include <string>

namespace platform {

// A calendar date with millisecond precision. Two dates are equal when they
// denote the same millisecond.
class Date {
public:
    Date() = default;

    static Date now();  // from the installed clock
    static Date fromMilliseconds(std::int64_t millisecondsSinceEpoch);
    static Date fromSeconds(double secondsSinceEpoch);
    // Local time; month 1-12.
    static Date fromLocalComponents(int year, int month, int day, int hour, int minute, int second,
                                    int millisecond = 0);

    std::int64_t millisecondsSinceEpoch() const { return ms_; }

    // strftime in local time, with %F standing for the three-digit milliseconds.
    std::string format(const std::string& calendarFormat) const;

    bool operator==(const Date&) const = default;
    auto operator<=>(const Date&) const = default;

private:
    explicit Date(std::int64_t ms) : ms_(ms) {}
    std::int64_t ms_ = 0;
};

}  // namespace platform
