#include "platform/ui/Controls.h"

namespace platform {

void ImageView::setImage(const ImageRef& image) {
    image_ = image;
    changed();
}

void Button::setTitle(const std::string& title) {
    title_ = title;
    changed();
}

void Button::setImage(const ImageRef& image) {
    image_ = image;
    changed();
}

void Button::setState(int state) {
    state_ = state;
    changed();
}

void Button::performClick() {
    if (!isEnabled()) return;
    if (checkbox_) setState(state_ ? 0 : 1);
    if (action_) action_(*this);
}

}  // namespace platform
