#pragma once

#include "platform/ui/Geometry.h"
#include "platform/ui/Responder.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class Window;

// What a backend attaches to a model to draw it; told after every change.
class Peer {
public:
    virtual ~Peer() = default;
    virtual void modelChanged() = 0;
};

// A rectangle of a window with subviews. Holds its state only; a backend
// peer draws it.
class View : public Responder {
public:
    explicit View(Rect frame = {});

    const Rect& frame() const { return frame_; }
    void setFrame(const Rect& frame);
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    double alphaValue() const { return alpha_; }
    void setAlphaValue(double alpha);
    const std::string& toolTip() const { return toolTip_; }
    void setToolTip(const std::string& tip);
    // What assistive technology calls the view (a screen reader's name for a
    // slider: the caption of its row); empty when its own text says it.
    const std::string& accessibilityLabel() const { return accessibilityLabel_; }
    void setAccessibilityLabel(const std::string& label);
    const std::string& identifier() const { return identifier_; }
    void setIdentifier(const std::string& id) { identifier_ = id; }

    void addSubview(const std::shared_ptr<View>& view);
    void removeFromSuperview();
    const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
    View* superview() const { return superview_; }
    // Depth-first search by identifier, this view included.
    std::shared_ptr<View> viewWithIdentifier(const std::string& id);

    Window* window() const { return window_; }
    void setWindow(Window* window);
    // A point of this view's own coordinates in its window's coordinates
    // (bottom-left origins, frames relative to the superview).
    Point convertPointToWindow(Point point) const;

    // Areas, in this view's coordinates, over which the backend tells the view
    // when the pointer enters and leaves (mouseEntered / mouseExited).
    struct TrackingRect {
        int tag = 0;
        Rect rect;
        bool assumeInside = false;
    };
    int addTrackingRect(const Rect& rect, bool assumeInside);
    void removeTrackingRect(int tag);
    const std::vector<TrackingRect>& trackingRects() const { return trackingRects_; }
    virtual void viewDidMoveToWindow() {}

    void setPeer(std::shared_ptr<Peer> peer) { peer_ = std::move(peer); }
    Peer* peer() const { return peer_.get(); }

protected:
    void changed();

private:
    Rect frame_;
    bool hidden_ = false;
    double alpha_ = 1.0;
    std::string toolTip_;
    std::string accessibilityLabel_;
    std::string identifier_;
    std::vector<std::shared_ptr<View>> subviews_;
    View* superview_ = nullptr;
    Window* window_ = nullptr;
    std::vector<TrackingRect> trackingRects_;
    int nextTrackingTag_ = 1;
    std::shared_ptr<Peer> peer_;
};

using ViewRef = std::shared_ptr<View>;

}  // namespace platform
