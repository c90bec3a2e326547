#pragma once

#include "platform/ui/Control.h"

#include <functional>

namespace platform {

// A horizontal slider between a minimum and a maximum, with tick marks. With
// tick-mark values only, every value lands on the nearest mark. The user's
// moves arrive through `userMoved`, which the backend calls (headless tests
// call it directly).
class Slider : public Control {
public:
    using Action = std::function<void(Slider&)>;
    explicit Slider(Rect frame = {}) : Control(frame) {}

    double minValue() const { return min_; }
    double maxValue() const { return max_; }
    void setRange(double minValue, double maxValue);
    int numberOfTickMarks() const { return ticks_; }
    void setNumberOfTickMarks(int count);
    bool allowsTickMarkValuesOnly() const { return ticksOnly_; }
    void setAllowsTickMarkValuesOnly(bool only);

    double doubleValue() const { return value_; }
    float floatValue() const { return static_cast<float>(value_); }
    // Truncated toward zero.
    int intValue() const { return static_cast<int>(value_); }
    // Kept within the range (and on a mark when only marks are allowed).
    void setDoubleValue(double value);
    void setFloatValue(float value) { setDoubleValue(value); }
    void setIntValue(int value) { setDoubleValue(value); }
    // The value of tick mark `index` (0 = minimum).
    double tickMarkValueAtIndex(int index) const;

    void setAction(Action action) { action_ = std::move(action); }
    // The user moved the knob: the value changes, then the action runs.
    void userMoved(double value);

private:
    double constrained(double value) const;

    double min_ = 0;
    double max_ = 1;
    int ticks_ = 0;
    bool ticksOnly_ = false;
    double value_ = 0;
    Action action_;
};

}  // namespace platform
