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

// Tests of the bus run only on a private session bus (the end-to-end
// runner's), never on the developer's own session.
inline bool havePrivateBus() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* privateBus = std::getenv("TARNWICK_TEST_PRIVATE_BUS");
    return address && *address && privateBus && *privateBus;
}
