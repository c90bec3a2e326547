#include "platform/desktop/wayland/extras/ExtrasConnection.h"

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>

namespace platform::desktop::wayland {

namespace {

constexpr std::uint32_t kOutputVersion = 2;
constexpr std::uint32_t kSeatVersion = 5;

}  // namespace

WaylandGlobals::WaylandGlobals(wl_registry* registry) : registry_(registry) {
    static const wl_registry_listener listener = {&WaylandGlobals::announced, &WaylandGlobals::removed};
    wl_registry_add_listener(registry_, &listener, this);
}

WaylandGlobals::~WaylandGlobals() {
    for (const auto& [name, output] : outputNames_) wl_output_destroy(output);
    if (seat_) wl_seat_destroy(seat_);
}

void WaylandGlobals::announced(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                               std::uint32_t version) {
    auto& self = *static_cast<WaylandGlobals*>(data);
    self.globals_.push_back({name, interface, version});
    const std::string kind = interface;
    if (kind == wl_output_interface.name) {
        auto* output = static_cast<wl_output*>(
            wl_registry_bind(registry, name, &wl_output_interface, std::min(version, kOutputVersion)));
        self.outputNames_.emplace_back(name, output);
        self.outputs_.push_back(output);
        if (self.outputObserver_) self.outputObserver_(output, true);
    } else if (kind == wl_seat_interface.name && !self.seat_) {
        static const wl_seat_listener listener = {&WaylandGlobals::capabilities, &WaylandGlobals::seatName};
        self.seat_ = static_cast<wl_seat*>(
            wl_registry_bind(registry, name, &wl_seat_interface, std::min(version, kSeatVersion)));
        wl_seat_add_listener(self.seat_, &listener, &self);
    }
}

void WaylandGlobals::capabilities(void* data, wl_seat*, std::uint32_t capabilities) {
    auto& self = *static_cast<WaylandGlobals*>(data);
    self.seatCapabilities_ = capabilities;
    // An observer may remove itself.
    const auto observers = self.seatObservers_;
    for (const auto& [owner, observer] : observers) observer(capabilities);
}

void WaylandGlobals::addSeatObserver(const void* owner, SeatObserver observer) {
    seatObservers_.emplace_back(owner, std::move(observer));
    seatObservers_.back().second(seatCapabilities_);
}

void WaylandGlobals::removeSeatObserver(const void* owner) {
    std::erase_if(seatObservers_, [owner](const auto& entry) { return entry.first == owner; });
}

void WaylandGlobals::removed(void* data, wl_registry*, std::uint32_t name) {
    auto& self = *static_cast<WaylandGlobals*>(data);
    std::erase_if(self.globals_, [name](const Global& global) { return global.name == name; });
    const auto gone = std::find_if(self.outputNames_.begin(), self.outputNames_.end(),
                                   [name](const auto& entry) { return entry.first == name; });
    if (gone == self.outputNames_.end()) return;
    wl_output* output = gone->second;
    self.outputNames_.erase(gone);
    std::erase(self.outputs_, output);
    if (self.outputObserver_) self.outputObserver_(output, false);
    wl_output_destroy(output);
}

bool WaylandGlobals::offers(const std::string& interface) const {
    return std::any_of(globals_.begin(), globals_.end(),
                       [&](const Global& global) { return global.interface == interface; });
}

void* WaylandGlobals::bind(const wl_interface& interface, std::uint32_t maxVersion) const {
    for (const Global& global : globals_)
        if (global.interface == interface.name)
            return wl_registry_bind(registry_, global.name, &interface, std::min(global.version, maxVersion));
    return nullptr;
}

std::unique_ptr<ExtrasConnection> ExtrasConnection::open(const char* socketName) {
    wl_display* display = wl_display_connect(socketName);
    if (!display) return nullptr;
    std::unique_ptr<ExtrasConnection> connection(new ExtrasConnection(display));
    // The globals, then the events of what was bound from them (the seat's
    // capabilities, the outputs' modes).
    if (!connection->roundtrip() || !connection->roundtrip()) return nullptr;
    return connection;
}

ExtrasConnection::ExtrasConnection(wl_display* display)
    : display_(display),
      registry_(wl_display_get_registry(display)),
      globals_(std::make_unique<WaylandGlobals>(registry_)) {}

ExtrasConnection::~ExtrasConnection() {
    globals_.reset();
    wl_registry_destroy(registry_);
    wl_display_disconnect(display_);
}

int ExtrasConnection::fd() const { return wl_display_get_fd(display_); }

bool ExtrasConnection::dispatch() {
    while (wl_display_prepare_read(display_) != 0)
        if (wl_display_dispatch_pending(display_) < 0) return false;
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(display_);
        return false;
    }
    pollfd socket{fd(), POLLIN, 0};
    if (poll(&socket, 1, 0) > 0) {
        if (wl_display_read_events(display_) < 0) return false;
    } else {
        wl_display_cancel_read(display_);
    }
    return wl_display_dispatch_pending(display_) >= 0;
}

bool ExtrasConnection::roundtrip() { return wl_display_roundtrip(display_) >= 0; }

bool ExtrasConnection::dispatchUntil(const std::function<bool()>& done, int timeoutMilliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd socket{fd(), POLLIN, 0};
        wl_display_flush(display_);
        if (poll(&socket, 1, static_cast<int>(std::min<long long>(left, 100))) < 0 && errno != EINTR) return false;
        if (!dispatch()) return false;
    }
    return true;
}

}  // namespace platform::desktop::wayland
