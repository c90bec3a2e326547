#pragma once

#include "platform/foundation/Object.h"

// What the photographer, the log window and the about panel ask of the lock
// controller, the application's delegate.
class TarnwickDelegate {
public:
    virtual ~TarnwickDelegate() = default;
    virtual bool sleeping() const = 0;
    virtual void showPreferences(platform::Object* sender) = 0;
    virtual void rememberFrontmostApplication() = 0;
    virtual void restoreFrontmostApplication() = 0;
};
