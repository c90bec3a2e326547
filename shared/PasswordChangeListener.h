#pragma once

#include "platform/foundation/Object.h"

// Implemented by a password field's delegate that wants to hear of every edit.
class PasswordChangeListener {
public:
    virtual ~PasswordChangeListener() = default;
    virtual void passwordIsChanging(platform::Object* sender) = 0;
};
