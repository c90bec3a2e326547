#pragma once

#include "platform/services/Input.h"
#include "platform/services/LockRequests.h"

#include <chrono>
#include <cstdint>

struct ext_idle_notifier_v1;
struct ext_idle_notification_v1;
struct wl_seat;

namespace platform::desktop::wayland {

// Inactivity as the compositor counts it (ext-idle-notify-v1): the
// compositor says when the seat has had no input for a short while, and
// when input comes back. That return is the activity the inactivity timer
// restarts on, during the lock as well; while the seat is idle the idle
// time is known to the moment. The compositor holds back idleness itself
// while a program inhibits it (a playing video). Without the protocol the
// inactivity timer runs on the bus activity calls alone, which is said
// once in the log.
class WaylandIdleNotify final : public IdleTime, public EventTap {
public:
    // Short, so that a return from a brief pause counts as activity, and
    // long enough that continuous typing is one return, not hundreds.
    static constexpr std::uint32_t kQuietMilliseconds = 1000;

    // `notifier` may be nullptr: the compositor does not offer it.
    WaylandIdleNotify(ext_idle_notifier_v1* notifier, wl_seat* seat,
                      std::uint32_t quietMilliseconds = kQuietMilliseconds);
    ~WaylandIdleNotify() override;
    WaylandIdleNotify(const WaylandIdleNotify&) = delete;
    WaylandIdleNotify& operator=(const WaylandIdleNotify&) = delete;

    bool available() const { return notification_ != nullptr; }
    bool idle() const { return presence_ == Presence::Idle; }

    // Less than the quiet time while the seat is in use: a lower bound of 0
    // then, which never locks early.
    std::optional<double> secondsSinceActivity() const override;

    bool create(Callback callback) override;
    void destroy() override;

private:
    enum class Presence { Active, Idle };
    using SteadyClock = std::chrono::steady_clock;

    static void idled(void* data, ext_idle_notification_v1*);
    static void resumed(void* data, ext_idle_notification_v1*);

    ext_idle_notifier_v1* notifier_;
    ext_idle_notification_v1* notification_ = nullptr;
    std::uint32_t quietMilliseconds_;
    Presence presence_ = Presence::Active;
    SteadyClock::time_point quietSince_;
    Callback callback_;
};

}  // namespace platform::desktop::wayland
