#include "platform/desktop/wayland/extras/WaylandGamma.h"

#include "platform/desktop/wayland/extras/ExtrasConnection.h"
#include "platform/foundation/LogSink.h"

#include <wayland-client.h>

#include "wlr-gamma-control-unstable-v1-client-protocol.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

namespace platform::desktop::wayland {

namespace {

constexpr double kFadeStepsPerSecond = 60.0;

// A sealed-size memory file holding `table`, for set_gamma; -1 on failure.
int tableFile(const std::vector<std::uint16_t>& table) {
    const int fd = memfd_create("tarnwick-gamma", MFD_CLOEXEC);
    if (fd < 0) return -1;
    const auto bytes = static_cast<ssize_t>(table.size() * sizeof(std::uint16_t));
    if (write(fd, table.data(), static_cast<std::size_t>(bytes)) != bytes || lseek(fd, 0, SEEK_SET) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

WaylandGamma::WaylandGamma(wl_display* display, const WaylandGlobals& globals, zwlr_gamma_control_manager_v1* manager)
    : display_(display), globals_(globals), manager_(manager) {
    if (!manager_) {
        LogSink::write("Tarnwick: this compositor offers no wlr-gamma-control-unstable-v1; the screen is not faded");
        return;
    }
    queue_ = wl_display_create_queue(display_);
    queuedManager_ = static_cast<zwlr_gamma_control_manager_v1*>(wl_proxy_create_wrapper(manager_));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(queuedManager_), queue_);
}

WaylandGamma::~WaylandGamma() {
    if (reservation_) endReservation();
    if (queuedManager_) wl_proxy_wrapper_destroy(queuedManager_);
    if (manager_) zwlr_gamma_control_manager_v1_destroy(manager_);
    if (queue_) wl_event_queue_destroy(queue_);
}

std::vector<std::uint16_t> WaylandGamma::blendedRamp(std::size_t size, double blend, double level) {
    std::vector<std::uint16_t> ramp(size);
    blend = std::clamp(blend, 0.0, 1.0);
    const double solid = std::clamp(level, 0.0, 1.0) * 65535.0;
    for (std::size_t i = 0; i < size; ++i) {
        const double identity = size > 1 ? 65535.0 * static_cast<double>(i) / static_cast<double>(size - 1) : 65535.0;
        ramp[i] = static_cast<std::uint16_t>(std::lround(identity * (1.0 - blend) + solid * blend));
    }
    return ramp;
}

void WaylandGamma::gammaSize(void* data, zwlr_gamma_control_v1*, std::uint32_t size) {
    static_cast<Control*>(data)->size = size;
}

void WaylandGamma::failed(void* data, zwlr_gamma_control_v1*) { static_cast<Control*>(data)->failed = true; }

std::size_t WaylandGamma::controlledOutputs() const {
    return static_cast<std::size_t>(
        std::count_if(controls_.begin(), controls_.end(), [](const Control* c) { return !c->failed && c->size > 0; }));
}

void WaylandGamma::takeControls() {
    static const zwlr_gamma_control_v1_listener listener = {&WaylandGamma::gammaSize, &WaylandGamma::failed};
    for (wl_output* output : globals_.outputs()) {
        auto* control = new Control;
        control->control = zwlr_gamma_control_manager_v1_get_gamma_control(queuedManager_, output);
        zwlr_gamma_control_v1_add_listener(control->control, &listener, control);
        controls_.push_back(control);
    }
    // Each control answers with its table size, or fails when another
    // program holds the output's tables.
    wl_display_roundtrip_queue(display_, queue_);
}

void WaylandGamma::dropControls() {
    for (Control* control : controls_) {
        zwlr_gamma_control_v1_destroy(control->control);
        delete control;
    }
    controls_.clear();
    wl_display_flush(display_);
}

void WaylandGamma::applyBlend(double blend, double red, double green, double blue) {
    wl_display_dispatch_queue_pending(display_, queue_);
    for (const Control* control : controls_) {
        if (control->failed || control->size == 0) continue;
        std::vector<std::uint16_t> table = blendedRamp(control->size, blend, red);
        const auto greenRamp = blendedRamp(control->size, blend, green);
        const auto blueRamp = blendedRamp(control->size, blend, blue);
        table.insert(table.end(), greenRamp.begin(), greenRamp.end());
        table.insert(table.end(), blueRamp.begin(), blueRamp.end());
        const int fd = tableFile(table);
        if (fd < 0) continue;
        zwlr_gamma_control_v1_set_gamma(control->control, fd);
        close(fd);
    }
    wl_display_flush(display_);
}

int WaylandGamma::acquireReservation(double seconds, std::uint32_t& token, int busy, int illegal) {
    if (reservation_) return busy;
    if (seconds <= 0) return illegal;
    if (manager_) takeControls();
    reservation_ = nextToken_++;
    if (nextToken_ == 0) nextToken_ = 1;
    token = reservation_;
    expiry_ = RunLoop::main().scheduleTimer(seconds, false, [this](Timer&) { endReservation(); });
    return 0;
}

int WaylandGamma::fade(std::uint32_t token, double duration, double startBlend, double endBlend, double red,
                       double green, double blue, bool synchronous) {
    if (!reservation_ || token != reservation_) return -1;
    // Outputs without gamma tables (or held by another program) are not
    // faded: no step to wait for.
    if (controlledOutputs() == 0) return 0;
    const int steps = std::max(1, static_cast<int>(std::lround(duration * kFadeStepsPerSecond)));
    auto step = [=, this](int i) { applyBlend(startBlend + (endBlend - startBlend) * i / steps, red, green, blue); };
    if (!synchronous) {
        // Steps on the main loop; the fade stops if the reservation ends.
        for (int i = 0; i <= steps; ++i)
            RunLoop::main().performAfterDelay(duration * i / steps, [=, this] {
                if (reservation_ == token) step(i);
            });
        return 0;
    }
    const auto pause = std::chrono::duration<double>(duration / steps);
    for (int i = 0; i <= steps; ++i) {
        step(i);
        if (i < steps) std::this_thread::sleep_for(pause);
    }
    wl_display_roundtrip_queue(display_, queue_);
    return 0;
}

bool WaylandGamma::release(std::uint32_t token) {
    if (!reservation_ || token != reservation_) return false;
    endReservation();
    return true;
}

void WaylandGamma::endReservation() {
    if (expiry_) expiry_->invalidate();
    expiry_.reset();
    // The compositor puts the tables back as each control goes.
    dropControls();
    reservation_ = 0;
}

}  // namespace platform::desktop::wayland
