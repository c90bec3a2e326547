#pragma once

#include "platform/services/Displays.h"

#include <cstdint>
#include <vector>

struct wl_display;
struct wl_seat;
struct ext_idle_notifier_v1;
struct ext_idle_notification_v1;
struct zwlr_output_power_manager_v1;
struct zwlr_output_power_v1;

namespace platform::desktop::wayland {

class WaylandGlobals;

// Display sleep through wlr-output-power-management-unstable-v1. Unlike a
// monitor in DPMS sleep, an output the compositor switched off stays off
// when input comes, so the first input after a short quiet time (seen
// through ext-idle-notify-v1) switches every output back on: the key still
// held when the displays went off does not. Without both protocols the
// displays are never switched off, which is said once in the log. An output
// switched off stays off after this process dies: the lock guard calls
// `switchOn` on a connection of its own.
class WaylandDisplayPower final : public DisplayPower {
public:
    static constexpr std::uint32_t kQuietMilliseconds = 500;

    // Either protocol object may be nullptr: the compositor does not offer it.
    WaylandDisplayPower(wl_display* display, const WaylandGlobals& globals, zwlr_output_power_manager_v1* manager,
                        ext_idle_notifier_v1* notifier);
    ~WaylandDisplayPower() override;
    WaylandDisplayPower(const WaylandDisplayPower&) = delete;
    WaylandDisplayPower& operator=(const WaylandDisplayPower&) = delete;

    bool hasPowerEntry() override;
    void requestIdle() override;
    // Every output on, now; also what the lock guard does after a crash.
    void switchOn();

    // Outputs that reported themselves off, of those this object switched.
    std::size_t outputsReportedOff() const;
    // Whether the quiet time has passed since the displays went off, so that
    // the next input switches them on.
    bool wakesAtNextInput() const { return quietReached_; }

private:
    enum class Mode : std::uint32_t { Off = 0, On = 1 };
    struct Output {
        zwlr_output_power_v1* power = nullptr;
        Mode reported = Mode::On;
    };

    static void modeChanged(void* data, zwlr_output_power_v1*, std::uint32_t mode);
    static void failed(void* data, zwlr_output_power_v1*);
    static void quiet(void* data, ext_idle_notification_v1*);
    static void inputReturned(void* data, ext_idle_notification_v1*);

    void setEveryOutput(Mode mode);
    void releaseOutputs();
    void stopWatchingInput();

    wl_display* display_;
    const WaylandGlobals& globals_;
    zwlr_output_power_manager_v1* manager_;
    ext_idle_notifier_v1* notifier_;
    std::vector<Output*> outputs_;
    ext_idle_notification_v1* wake_ = nullptr;
    bool quietReached_ = false;
};

}  // namespace platform::desktop::wayland
