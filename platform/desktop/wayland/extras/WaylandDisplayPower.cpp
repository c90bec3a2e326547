#include "platform/desktop/wayland/extras/WaylandDisplayPower.h"

#include "platform/desktop/wayland/extras/ExtrasConnection.h"
#include "platform/foundation/LogSink.h"

#include <wayland-client.h>

#include "ext-idle-notify-v1-client-protocol.h"
#include "wlr-output-power-management-unstable-v1-client-protocol.h"

#include <algorithm>

namespace platform::desktop::wayland {

WaylandDisplayPower::WaylandDisplayPower(wl_display* display, const WaylandGlobals& globals,
                                         zwlr_output_power_manager_v1* manager, ext_idle_notifier_v1* notifier)
    : display_(display), globals_(globals), manager_(manager), notifier_(notifier) {
    if (!manager_)
        LogSink::write(
            "Tarnwick: this compositor offers no wlr-output-power-management-unstable-v1; the displays are not "
            "switched off");
    else if (!notifier_)
        LogSink::write(
            "Tarnwick: this compositor offers no ext-idle-notify-v1 to wake switched-off displays; the displays are "
            "not switched off");
}

WaylandDisplayPower::~WaylandDisplayPower() {
    stopWatchingInput();
    releaseOutputs();
    if (notifier_) ext_idle_notifier_v1_destroy(notifier_);
    if (manager_) zwlr_output_power_manager_v1_destroy(manager_);
}

bool WaylandDisplayPower::hasPowerEntry() {
    return manager_ && notifier_ && globals_.seat() && !globals_.outputs().empty();
}

void WaylandDisplayPower::requestIdle() {
    if (!hasPowerEntry()) return;
    setEveryOutput(Mode::Off);
    if (wake_) return;
    static const ext_idle_notification_v1_listener listener = {&WaylandDisplayPower::quiet,
                                                               &WaylandDisplayPower::inputReturned};
    wake_ = ext_idle_notifier_v1_get_idle_notification(notifier_, kQuietMilliseconds, globals_.seat());
    ext_idle_notification_v1_add_listener(wake_, &listener, this);
    wl_display_flush(display_);
}

void WaylandDisplayPower::switchOn() {
    stopWatchingInput();
    if (!manager_) return;
    // The compositor handles requests in order: the objects may go at once.
    setEveryOutput(Mode::On);
    releaseOutputs();
}

std::size_t WaylandDisplayPower::outputsReportedOff() const {
    return static_cast<std::size_t>(
        std::count_if(outputs_.begin(), outputs_.end(), [](const Output* o) { return o->reported == Mode::Off; }));
}

void WaylandDisplayPower::modeChanged(void* data, zwlr_output_power_v1*, std::uint32_t mode) {
    static_cast<Output*>(data)->reported = mode == 0 ? Mode::Off : Mode::On;
}

void WaylandDisplayPower::failed(void* data, zwlr_output_power_v1*) { static_cast<Output*>(data)->reported = Mode::On; }

void WaylandDisplayPower::quiet(void* data, ext_idle_notification_v1*) {
    static_cast<WaylandDisplayPower*>(data)->quietReached_ = true;
}

void WaylandDisplayPower::inputReturned(void* data, ext_idle_notification_v1*) {
    static_cast<WaylandDisplayPower*>(data)->switchOn();
}

void WaylandDisplayPower::setEveryOutput(Mode mode) {
    static const zwlr_output_power_v1_listener listener = {&WaylandDisplayPower::modeChanged,
                                                           &WaylandDisplayPower::failed};
    if (outputs_.empty())
        for (wl_output* output : globals_.outputs()) {
            auto* entry = new Output;
            entry->power = zwlr_output_power_manager_v1_get_output_power(manager_, output);
            zwlr_output_power_v1_add_listener(entry->power, &listener, entry);
            outputs_.push_back(entry);
        }
    for (Output* output : outputs_) zwlr_output_power_v1_set_mode(output->power, static_cast<std::uint32_t>(mode));
    wl_display_flush(display_);
}

void WaylandDisplayPower::releaseOutputs() {
    for (Output* output : outputs_) {
        zwlr_output_power_v1_destroy(output->power);
        delete output;
    }
    outputs_.clear();
    wl_display_flush(display_);
}

void WaylandDisplayPower::stopWatchingInput() {
    quietReached_ = false;
    if (!wake_) return;
    ext_idle_notification_v1_destroy(wake_);
    wake_ = nullptr;
}

}  // namespace platform::desktop::wayland
