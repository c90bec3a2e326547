#include "shared/SliderCurve.h"

#include <algorithm>
#include <cmath>

double sliderCurveExponent() { return std::log10(10800.0) / std::log10(54.0); }

std::int32_t sliderSeconds(float position, double exponent) {
    constexpr double kOneDay = 24 * 60 * 60;
    // The quotient in single precision, the power in double.
    const double seconds = std::pow(static_cast<double>(position / 5), exponent);
    if (!(seconds >= 0)) return 0;
    return static_cast<std::int32_t>(std::min(std::trunc(seconds), kOneDay));
}

std::int32_t sliderMinutes(float position, double exponent) { return sliderSeconds(position, exponent) / 60 + 1; }
