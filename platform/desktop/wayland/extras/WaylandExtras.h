#pragma once

#include "platform/desktop/wayland/extras/WaylandDisplayPower.h"
#include "platform/desktop/wayland/extras/WaylandFrontWindow.h"
#include "platform/desktop/wayland/extras/WaylandGamma.h"
#include "platform/desktop/wayland/extras/WaylandIdleNotify.h"
#include "platform/desktop/wayland/extras/WaylandKeymapLayouts.h"

#include <memory>

struct wl_display;

namespace platform::desktop::wayland {

class WaylandGlobals;

// The session services a Wayland compositor can give beside the lock, made
// from one connection's globals: inactivity, fades, display power, the
// window in front and the keyboard layouts. Each says once in the log what
// its compositor lacks. The connection's events must be dispatched for them
// to stay current; the owner watches its socket.
class WaylandExtras {
public:
    WaylandExtras(wl_display* display, WaylandGlobals& globals);
    ~WaylandExtras();
    WaylandExtras(const WaylandExtras&) = delete;
    WaylandExtras& operator=(const WaylandExtras&) = delete;

    // As IdleTime, EventTap, DisplayPower, Processes and InputSources; the
    // fades go through the displays, which hold `gamma()`.
    void install();
    void uninstall();

    WaylandIdleNotify& idle() { return *idle_; }
    WaylandGamma& gamma() { return *gamma_; }
    WaylandDisplayPower& displayPower() { return *displayPower_; }
    WaylandFrontWindow& frontWindow() { return *frontWindow_; }
    WaylandKeymapLayouts& layouts() { return *layouts_; }

private:
    std::unique_ptr<WaylandIdleNotify> idle_;
    std::unique_ptr<WaylandGamma> gamma_;
    std::unique_ptr<WaylandDisplayPower> displayPower_;
    std::unique_ptr<WaylandFrontWindow> frontWindow_;
    std::unique_ptr<WaylandKeymapLayouts> layouts_;
    bool installed_ = false;
};

}  // namespace platform::desktop::wayland
