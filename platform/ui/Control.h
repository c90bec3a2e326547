#pragma once

#include "platform/ui/View.h"

namespace platform {

// A view the user operates. A disabled control takes no input; the tag is a
// number the interface gives it (a pop-up item's setting value, a button's
// state) for its owner to read.
class Control : public View {
public:
    explicit Control(Rect frame = {}) : View(frame) {}

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    int tag() const { return tag_; }
    void setTag(int tag);

private:
    bool enabled_ = true;
    int tag_ = 0;
};

}  // namespace platform
