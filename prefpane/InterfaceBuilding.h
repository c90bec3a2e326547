#pragma once

#include "platform/ui/Controls.h"
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

}  // namespace interface_building
