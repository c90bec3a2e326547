#pragma once

#include "platform/ui/Controls.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"

#include <memory>

class InputField;
class Tarnwick;

// The lock panel as the interface describes it: a picture in the middle, a
// message line and the password field below it. Only the content view is
// shown on the lock window; the panel merely holds it.
struct LockWindowInterface {
    std::unique_ptr<platform::Window> panel;
    std::shared_ptr<platform::ImageView> imageView;
    std::shared_ptr<platform::TextField> infoText;
    std::shared_ptr<InputField> passwordField;
};

// Builds the lock panel with the controller as the password field's delegate.
LockWindowInterface buildLockWindowInterface(Tarnwick& owner);
