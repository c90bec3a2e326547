#include "platform/ui/ProgressIndicator.h"

namespace platform {

void ProgressIndicator::startAnimation() {
    animating_ = true;
    changed();
}

void ProgressIndicator::stopAnimation() {
    animating_ = false;
    changed();
}

void ProgressIndicator::setDisplayedWhenStopped(bool displayed) {
    displayedWhenStopped_ = displayed;
    changed();
}

}  // namespace platform
