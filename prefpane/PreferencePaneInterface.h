#pragma once

#include "platform/ui/View.h"

class PreferenceController;

// Builds the pane's main view and the password sheet, connects every control
// to `owner`'s fields (each control's identifier is its field's name) and
// their actions to its handlers, and answers the main view.
platform::ViewRef loadPreferencePaneInterface(PreferenceController& owner);
