#include "platform/ui/Slider.h"

#include <algorithm>
#include <cmath>

namespace platform {

void Slider::setRange(double minValue, double maxValue) {
    min_ = std::min(minValue, maxValue);
    max_ = std::max(minValue, maxValue);
    value_ = constrained(value_);
    changed();
}

void Slider::setNumberOfTickMarks(int count) {
    ticks_ = std::max(0, count);
    value_ = constrained(value_);
    changed();
}

void Slider::setAllowsTickMarkValuesOnly(bool only) {
    ticksOnly_ = only;
    value_ = constrained(value_);
    changed();
}

double Slider::tickMarkValueAtIndex(int index) const {
    if (ticks_ < 2) return min_;
    return min_ + (max_ - min_) * index / (ticks_ - 1);
}

double Slider::constrained(double value) const {
    // Not a number is no position: the knob goes to the minimum.
    if (std::isnan(value)) value = min_;
    value = std::clamp(value, min_, max_);
    if (!ticksOnly_ || ticks_ < 2) return value;
    const double step = (max_ - min_) / (ticks_ - 1);
    return tickMarkValueAtIndex(static_cast<int>(std::lround((value - min_) / step)));
}

void Slider::setDoubleValue(double value) {
    value_ = constrained(value);
    changed();
}

void Slider::userMoved(double value) {
    if (!isEnabled()) return;
    setDoubleValue(value);
    if (action_) action_(*this);
}

}  // namespace platform
