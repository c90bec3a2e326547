#pragma once

#include "platform/ui/Controls.h"
#include "platform/ui/Layout.h"
#include "platform/ui/TextField.h"

#include <memory>
#include <string>

// What the pane's interface files build alike: views found by identifier,
// read-only labels and push buttons.
namespace interface_building {

template <class V>
std::shared_ptr<V> named(std::shared_ptr<V> view, const std::string& identifier) {
    view->setIdentifier(identifier);
    return view;
}

inline std::shared_ptr<platform::TextField> label(const std::string& identifier, double width = 0) {
    auto field = named(std::make_shared<platform::TextField>(platform::Rect{0, 0, width, 0}), identifier);
    field->setEditable(false);
    field->setBordered(false);
    field->setDrawsBackground(false);
    return field;
}

inline std::shared_ptr<platform::Button> pushButton(const std::string& identifier, const std::string& title,
                                                    platform::Button::Action action) {
    auto button = named(std::make_shared<platform::Button>(platform::Rect{}, title), identifier);
    button->setAction(std::move(action));
    return button;
}

// A form row whose caption is also what a screen reader calls `control`,
// which the row holds (alone, or beside a label that shows its value).
inline void addLabelledRow(platform::FormView& form, const std::string& caption, const platform::ViewRef& row,
                           platform::View& control) {
    form.addRow(caption, row);
    control.setAccessibilityLabel(caption.ends_with(':') ? caption.substr(0, caption.size() - 1) : caption);
}

}  // namespace interface_building
