#include "platform/ui/TextField.h"

namespace platform {

TextField::TextField(Rect frame) : Control(frame) {}

void TextField::setStringValue(const std::string& value) {
    value_ = value;
    changed();
}

void TextField::setEditable(bool editable) {
    editable_ = editable;
    changed();
}

void TextField::setBordered(bool bordered) {
    bordered_ = bordered;
    changed();
}

void TextField::setDrawsBackground(bool draws) {
    drawsBackground_ = draws;
    changed();
}

void TextField::setFont(const std::string& name, double size) {
    fontName_ = name;
    fontSize_ = size;
    changed();
}

void TextField::setAlignment(int alignment) {
    alignment_ = alignment;
    changed();
}

void TextField::setTextColor(const Color& color) {
    textColor_ = color;
    changed();
}

void TextField::performReturn() {
    if (isEnabled() && action_) action_(*this);
}

void TextField::userEdited(const std::string& newValue) {
    setStringValue(newValue);
    textDidChange();
}

void TextField::textDidChange() {}

SecureTextField::SecureTextField(Rect frame) : TextField(frame) { setEditable(true); }

void SecureTextField::setAcceptsPaste(bool accepts) {
    acceptsPaste_ = accepts;
    changed();
}

}  // namespace platform
