#include "platform/desktop/wayland/extras/WaylandExtras.h"

#include "platform/desktop/wayland/extras/ExtrasConnection.h"

#include <wayland-client.h>

#include "ext-idle-notify-v1-client-protocol.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"
#include "wlr-gamma-control-unstable-v1-client-protocol.h"
#include "wlr-output-power-management-unstable-v1-client-protocol.h"

namespace platform::desktop::wayland {

namespace {

template <class Proxy>
Proxy* bound(WaylandGlobals& globals, const wl_interface& interface, std::uint32_t version = 1) {
    return static_cast<Proxy*>(globals.bind(interface, version));
}

}  // namespace

WaylandExtras::WaylandExtras(wl_display* display, WaylandGlobals& globals) {
    // Display power wakes the outputs through an idle notification of its
    // own, so each part gets its own notifier object.
    idle_ = std::make_unique<WaylandIdleNotify>(bound<ext_idle_notifier_v1>(globals, ext_idle_notifier_v1_interface),
                                                globals.seat());
    gamma_ = std::make_unique<WaylandGamma>(
        display, globals, bound<zwlr_gamma_control_manager_v1>(globals, zwlr_gamma_control_manager_v1_interface));
    displayPower_ = std::make_unique<WaylandDisplayPower>(
        display, globals, bound<zwlr_output_power_manager_v1>(globals, zwlr_output_power_manager_v1_interface),
        bound<ext_idle_notifier_v1>(globals, ext_idle_notifier_v1_interface));
    frontWindow_ = std::make_unique<WaylandFrontWindow>(
        display,
        bound<zwlr_foreign_toplevel_manager_v1>(globals, zwlr_foreign_toplevel_manager_v1_interface,
                                                WaylandFrontWindow::kManagerVersion),
        globals.seat());
    layouts_ = std::make_unique<WaylandKeymapLayouts>(globals);
    wl_display_flush(display);
}

WaylandExtras::~WaylandExtras() { uninstall(); }

void WaylandExtras::install() {
    IdleTime::install(idle_.get());
    EventTap::install(idle_.get());
    DisplayPower::install(displayPower_.get());
    Processes::install(frontWindow_.get());
    InputSources::install(layouts_.get());
    installed_ = true;
}

void WaylandExtras::uninstall() {
    if (!installed_) return;
    installed_ = false;
    IdleTime::install(nullptr);
    EventTap::install(nullptr);
    DisplayPower::install(nullptr);
    Processes::install(nullptr);
    InputSources::install(nullptr);
}

}  // namespace platform::desktop::wayland
