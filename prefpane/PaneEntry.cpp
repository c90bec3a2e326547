// How a settings host creates the pane's principal class.

#include "platform/ui/PreferencePane.h"
#include "prefpane/PreferenceController.h"

extern "C" platform::PreferencePane* PreferenceController_initWithBundle(const char* bundlePath) {
    if (!bundlePath) return nullptr;
    return new PreferenceController(platform::Bundle(bundlePath));
}
