#pragma once

#include <cstdlib>

// Tests that grab the keyboard, move the pointer, change the layout or the
// gamma ramps run only on a private X server (the end-to-end runner's Xvfb),
// never on the developer's own desktop.
inline bool havePrivateXServer() {
    const char* display = std::getenv("DISPLAY");
    const char* privateServer = std::getenv("TARNWICK_TEST_PRIVATE_X");
    return display && *display && privateServer && *privateServer;
}
