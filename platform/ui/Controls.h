#pragma once

#include "platform/ui/Control.h"
#include "platform/ui/Image.h"

#include <functional>
#include <string>

namespace platform {

// Shows an image (a resource picture, an icon or a photo).
class ImageView : public View {
public:
    explicit ImageView(Rect frame = {}) : View(frame) {}
    const ImageRef& image() const { return image_; }
    virtual void setImage(const ImageRef& image);
    // The name of the shown image; "" when none.
    std::string imageName() const { return image_ ? image_->name() : std::string(); }

private:
    ImageRef image_;
};

// A push button or checkbox with a target action.
class Button : public Control {
public:
    using Action = std::function<void(Button&)>;
    explicit Button(Rect frame = {}, std::string title = {}) : Control(frame), title_(std::move(title)) {}
    const std::string& title() const { return title_; }
    void setTitle(const std::string& title);
    int state() const { return state_; }
    void setState(int state);
    void setAction(Action action) { action_ = std::move(action); }
    // A click: a checkbox toggles its state, then the action runs. A
    // disabled button does nothing.
    void performClick();
    bool isCheckbox() const { return checkbox_; }
    void setCheckbox(bool checkbox) { checkbox_ = checkbox; }
    // Shown beside (or, without a title, instead of) the title.
    const ImageRef& image() const { return image_; }
    void setImage(const ImageRef& image);

private:
    std::string title_;
    ImageRef image_;
    int state_ = 0;
    bool checkbox_ = false;
    Action action_;
};

}  // namespace platform
