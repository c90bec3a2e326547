#pragma once

#include <cstdint>

// The curve of the two time sliders, inactivity and the Bluetooth device's
// absence: position x stands for (x / 5)^f seconds, f chosen so that the top
// position, 270, is 10800 seconds (three hours), fine steps at the bottom and
// coarse ones at the top. The application and its settings convert alike.

// log10(10800) / log10(54).
double sliderCurveExponent();

// Whole seconds at a position, truncated; a day at most, whatever position
// the settings hold, and none for a position that is no number.
std::int32_t sliderSeconds(float position, double exponent);

// The whole minutes of the curve, counted from 1.
std::int32_t sliderMinutes(float position, double exponent);
