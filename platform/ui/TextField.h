#pragma once

#include "platform/ui/View.h"

#include <string>

namespace platform {

// A text field or label. User edits arrive through `userEdited`, which the
// backend calls (headless tests call it directly).
class TextField : public View {
public:
    explicit TextField(Rect frame = {});

    const std::string& stringValue() const { return value_; }
    void setStringValue(const std::string& value);
    bool isEditable() const { return editable_; }
    void setEditable(bool editable);
    bool isBordered() const { return bordered_; }
    void setBordered(bool bordered);
    bool drawsBackground() const { return drawsBackground_; }
    void setDrawsBackground(bool draws);
    double fontSize() const { return fontSize_; }
    const std::string& fontName() const { return fontName_; }
    void setFont(const std::string& name, double size);
    int alignment() const { return alignment_; }
    void setAlignment(int alignment);
    virtual bool isSecure() const { return false; }

    Object* delegate() const { return delegate_; }
    void setDelegate(Object* delegate) { delegate_ = delegate; }

    bool acceptsFirstResponder() const override { return editable_; }

    // An edit made by the user: the value changes, then textDidChange runs.
    void userEdited(const std::string& newValue);
    virtual void textDidChange();

private:
    std::string value_;
    bool editable_ = false;
    bool bordered_ = true;
    bool drawsBackground_ = true;
    std::string fontName_ = "system";
    double fontSize_ = 13;
    int alignment_ = 0;
    Object* delegate_ = nullptr;
};

// Shows every character as a bullet; keeps the typed text as its value.
class SecureTextField : public TextField {
public:
    explicit SecureTextField(Rect frame = {});
    bool isSecure() const override { return true; }
};

}  // namespace platform
