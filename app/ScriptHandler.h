#pragma once

#include "platform/foundation/Object.h"

// Runs the user's script for each event that has one.
class ScriptHandler : public platform::Object {
public:
    ScriptHandler();
    ~ScriptHandler() override;
};
