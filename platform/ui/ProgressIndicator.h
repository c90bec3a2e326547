#pragma once

#include "platform/ui/View.h"

namespace platform {

// An indeterminate progress indicator: it spins while animating and, unless
// displayed when stopped, is hidden otherwise.
class ProgressIndicator : public View {
public:
    explicit ProgressIndicator(Rect frame = {}) : View(frame) {}

    bool isAnimating() const { return animating_; }
    void startAnimation();
    void stopAnimation();
    bool isDisplayedWhenStopped() const { return displayedWhenStopped_; }
    void setDisplayedWhenStopped(bool displayed);

private:
    bool animating_ = false;
    bool displayedWhenStopped_ = true;
};

}  // namespace platform
