#include "platform/desktop/wayland/extras/WaylandIdleNotify.h"

#include "platform/foundation/LogSink.h"

#include <wayland-client.h>

#include "ext-idle-notify-v1-client-protocol.h"

namespace platform::desktop::wayland {

WaylandIdleNotify::WaylandIdleNotify(ext_idle_notifier_v1* notifier, wl_seat* seat, std::uint32_t quietMilliseconds)
    : notifier_(notifier), quietMilliseconds_(quietMilliseconds) {
    if (!notifier_ || !seat) {
        LogSink::write(
            "Tarnwick: this compositor offers no ext-idle-notify-v1; the inactivity lock counts only the activity "
            "that programs report on the bus");
        return;
    }
    static const ext_idle_notification_v1_listener listener = {&WaylandIdleNotify::idled, &WaylandIdleNotify::resumed};
    notification_ = ext_idle_notifier_v1_get_idle_notification(notifier_, quietMilliseconds_, seat);
    ext_idle_notification_v1_add_listener(notification_, &listener, this);
}

WaylandIdleNotify::~WaylandIdleNotify() {
    if (notification_) ext_idle_notification_v1_destroy(notification_);
    if (notifier_) ext_idle_notifier_v1_destroy(notifier_);
}

void WaylandIdleNotify::idled(void* data, ext_idle_notification_v1*) {
    auto& self = *static_cast<WaylandIdleNotify*>(data);
    self.presence_ = Presence::Idle;
    self.quietSince_ = SteadyClock::now() - std::chrono::milliseconds(self.quietMilliseconds_);
}

void WaylandIdleNotify::resumed(void* data, ext_idle_notification_v1*) {
    auto& self = *static_cast<WaylandIdleNotify*>(data);
    self.presence_ = Presence::Active;
    if (self.callback_) self.callback_(Event::ofType(Event::Type::MouseMoved));
}

std::optional<double> WaylandIdleNotify::secondsSinceActivity() const {
    if (!available()) return std::nullopt;
    if (presence_ == Presence::Active) return 0.0;
    return std::chrono::duration<double>(SteadyClock::now() - quietSince_).count();
}

bool WaylandIdleNotify::create(Callback callback) {
    if (!available()) return false;
    callback_ = std::move(callback);
    return true;
}

void WaylandIdleNotify::destroy() { callback_ = nullptr; }

}  // namespace platform::desktop::wayland
