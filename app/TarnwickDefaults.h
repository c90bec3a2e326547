#pragma once

#include "platform/foundation/Defaults.h"

// The application's settings: the standard defaults of its own domain, over
// the defaults it registered at start-up.
inline platform::Defaults& defaults() { return platform::Defaults::standard(); }
