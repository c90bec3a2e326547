#include "platform/ui/View.h"

#include <algorithm>

namespace platform {

View::View(Rect frame) : frame_(frame) {}

void View::changed() {
    if (peer_) peer_->modelChanged();
}

void View::setFrame(const Rect& frame) {
    frame_ = frame;
    changed();
}

void View::setHidden(bool hidden) {
    hidden_ = hidden;
    changed();
}

void View::setAlphaValue(double alpha) {
    alpha_ = alpha;
    changed();
}

void View::setToolTip(const std::string& tip) {
    toolTip_ = tip;
    changed();
}

void View::setAccessibilityLabel(const std::string& label) {
    accessibilityLabel_ = label;
    changed();
}

void View::addSubview(const std::shared_ptr<View>& view) {
    if (!view) return;
    view->removeFromSuperview();
    view->superview_ = this;
    view->setNextResponder(this);
    subviews_.push_back(view);
    view->setWindow(window_);
    changed();
}

void View::removeFromSuperview() {
    if (!superview_) return;
    View* parent = superview_;
    superview_ = nullptr;
    setNextResponder(nullptr);
    auto& siblings = parent->subviews_;
    siblings.erase(
        std::remove_if(siblings.begin(), siblings.end(), [this](const ViewRef& v) { return v.get() == this; }),
        siblings.end());
    setWindow(nullptr);
    parent->changed();
}

std::shared_ptr<View> View::viewWithIdentifier(const std::string& id) {
    if (identifier_ == id) return std::static_pointer_cast<View>(shared_from_this());
    for (auto& child : subviews_)
        if (auto found = child->viewWithIdentifier(id)) return found;
    return nullptr;
}

void View::setWindow(Window* window) {
    if (window_ == window) return;
    window_ = window;
    for (auto& child : subviews_) child->setWindow(window);
    viewDidMoveToWindow();
}

Point View::convertPointToWindow(Point point) const {
    for (const View* v = this; v; v = v->superview_) {
        point.x += v->frame_.x;
        point.y += v->frame_.y;
    }
    return point;
}

int View::addTrackingRect(const Rect& rect, bool assumeInside) {
    const int tag = nextTrackingTag_++;
    trackingRects_.push_back({tag, rect, assumeInside});
    changed();
    return tag;
}

void View::removeTrackingRect(int tag) {
    std::erase_if(trackingRects_, [tag](const TrackingRect& t) { return t.tag == tag; });
    changed();
}

}  // namespace platform
