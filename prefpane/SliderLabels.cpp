#include "prefpane/SliderLabels.h"

#include "shared/SliderCurve.h"

namespace {

std::string plural(int count, const std::string& one, const std::string& many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::string countLabel(int count, const std::string& unit) {
    if (count == 0) return "off";
    return plural(count, unit, unit + "s");
}

std::string inactivityLabel(float position, double f) {
    // Not a number is no position either.
    if (!(position >= 1.0f)) return "off";
    return minutesLabel(sliderMinutes(position, f));
}

std::string minutesLabel(std::int32_t minutes) {
    if (minutes < 60) return plural(minutes, "minute", "minutes");
    const int hours = minutes / 60;
    const int rest = minutes % 60;
    const std::string hoursText = plural(hours, "hour", "hours");
    return rest == 0 ? hoursText : hoursText + " " + plural(rest, "min", "mins");
}
