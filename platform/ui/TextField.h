#pragma once

#include "platform/ui/Control.h"

#include <functional>
#include <string>

namespace platform {

// A text field or label. User edits arrive through `userEdited`, and Return
// in the field through `performReturn`, which the backend calls (headless
// tests call them directly).
class TextField : public Control {
public:
    using Action = std::function<void(TextField&)>;
    explicit TextField(Rect frame = {});

    const std::string& stringValue() const { return value_; }
    void setStringValue(const std::string& value);
    bool isEditable() const { return editable_; }
    void setEditable(bool editable);
    bool isBordered() const { return bordered_; }
    void setBordered(bool bordered);
    void setDrawsBackground(bool draws);
    double fontSize() const { return fontSize_; }
    const std::string& fontName() const { return fontName_; }
    void setFont(const std::string& name, double size);
    int alignment() const { return alignment_; }
    void setAlignment(int alignment);
    const Color& textColor() const { return textColor_; }
    void setTextColor(const Color& color);
    virtual bool isSecure() const { return false; }

    Object* delegate() const { return delegate_; }
    void setDelegate(Object* delegate) { delegate_ = delegate; }

    bool acceptsFirstResponder() const override { return editable_; }

    // An edit made by the user: the value changes, then textDidChange runs.
    void userEdited(const std::string& newValue);
    virtual void textDidChange();

    // The action Return sends; none leaves Return to the window.
    void setAction(Action action) { action_ = std::move(action); }
    bool hasAction() const { return static_cast<bool>(action_); }
    // Return pressed in the field: its action runs, unless it is disabled.
    void performReturn();

private:
    std::string value_;
    bool editable_ = false;
    bool bordered_ = true;
    bool drawsBackground_ = true;
    std::string fontName_ = "system";
    double fontSize_ = 13;
    int alignment_ = 0;
    Color textColor_ = Color::black();
    Object* delegate_ = nullptr;
    Action action_;
};

// Shows every character as a bullet; keeps the typed text as its value.
class SecureTextField : public TextField {
public:
    explicit SecureTextField(Rect frame = {});
    bool isSecure() const override { return true; }

    // Whether text may be pasted or dropped into the field; what was never
    // typed may be what the keyboard cannot type.
    bool acceptsPaste() const { return acceptsPaste_; }
    void setAcceptsPaste(bool accepts);

private:
    bool acceptsPaste_ = true;
};

}  // namespace platform
