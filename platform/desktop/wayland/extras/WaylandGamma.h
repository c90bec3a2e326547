#pragma once

#include "platform/foundation/RunLoop.h"

#include <cstdint>
#include <vector>

struct wl_display;
struct wl_event_queue;
struct wl_output;
struct zwlr_gamma_control_manager_v1;
struct zwlr_gamma_control_v1;

namespace platform::desktop::wayland {

class WaylandGlobals;

// Display fades through the compositor's gamma tables
// (wlr-gamma-control-unstable-v1), with the one reservation at a time that
// fades need. The gamma controls are taken when a reservation begins and
// given back when it ends (released or expired): a held control shuts out
// every other program's (a night-light tool's), and the compositor puts the
// tables it had back by itself when a control goes, also when this process
// dies. Without the protocol the reservation still works and fades do
// nothing, which is said once in the log.
class WaylandGamma {
public:
    // `manager` may be nullptr: the compositor does not offer it.
    WaylandGamma(wl_display* display, const WaylandGlobals& globals, zwlr_gamma_control_manager_v1* manager);
    ~WaylandGamma();
    WaylandGamma(const WaylandGamma&) = delete;
    WaylandGamma& operator=(const WaylandGamma&) = delete;

    bool available() const { return manager_ != nullptr; }
    // Outputs whose tables the reservation holds.
    std::size_t controlledOutputs() const;

    // Status codes as the displays answer them: 0, or the given failure.
    int acquireReservation(double seconds, std::uint32_t& token, int busy, int illegal);
    int fade(std::uint32_t token, double duration, double startBlend, double endBlend, double red, double green,
             double blue, bool synchronous);
    bool release(std::uint32_t token);

    // The table of one channel `blend` of the way from the identity to the
    // solid `level` (0–1), as 16-bit entries.
    static std::vector<std::uint16_t> blendedRamp(std::size_t size, double blend, double level);

private:
    struct Control {
        zwlr_gamma_control_v1* control = nullptr;
        std::uint32_t size = 0;
        bool failed = false;
    };

    static void gammaSize(void* data, zwlr_gamma_control_v1*, std::uint32_t size);
    static void failed(void* data, zwlr_gamma_control_v1*);

    void takeControls();
    void dropControls();
    void applyBlend(double blend, double red, double green, double blue);
    void endReservation();

    wl_display* display_;
    const WaylandGlobals& globals_;
    zwlr_gamma_control_manager_v1* manager_;
    // Gamma events are read on a queue of their own, so that waiting for
    // them never runs another part's handlers.
    wl_event_queue* queue_ = nullptr;
    zwlr_gamma_control_manager_v1* queuedManager_ = nullptr;
    std::vector<Control*> controls_;
    std::uint32_t reservation_ = 0;
    std::uint32_t nextToken_ = 1;
    TimerRef expiry_;
};

}  // namespace platform::desktop::wayland
