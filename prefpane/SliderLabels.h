#pragma once

#include <cstdint>
#include <string>

// The wording of the pane's slider labels.

// 0 is "off", 1 is "1 <unit>", more is "<n> <unit>s".
std::string countLabel(int count, const std::string& unit);

// Minutes up to 59 ("4 minutes"); hours, and the minutes left over
// ("1 hour 30 mins"), from 60 on.
std::string minutesLabel(std::int32_t minutes);
// "off" below position 1, else the minutes of the slider curve.
std::string inactivityLabel(float position, double f);
