#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct wl_display;
struct wl_registry;
struct wl_interface;
struct wl_output;
struct wl_seat;

namespace platform::desktop::wayland {

// The compositor's globals as the registry announced them, and the outputs
// and seat bound from them. The idle, gamma, power and front-window pieces
// take what they need from here, so that any connection (this small one, or
// the lock's own) can feed them.
class WaylandGlobals {
public:
    struct Global {
        std::uint32_t name = 0;
        std::string interface;
        std::uint32_t version = 0;
    };

    // Listens on `registry` until destroyed.
    explicit WaylandGlobals(wl_registry* registry);
    ~WaylandGlobals();
    WaylandGlobals(const WaylandGlobals&) = delete;
    WaylandGlobals& operator=(const WaylandGlobals&) = delete;

    bool offers(const std::string& interface) const;
    // Binds the first global of `interface` at the lower of its version and
    // `maxVersion`; nullptr when the compositor does not offer it.
    void* bind(const wl_interface& interface, std::uint32_t maxVersion) const;

    const std::vector<wl_output*>& outputs() const { return outputs_; }
    wl_seat* seat() const { return seat_; }
    // The seat's capabilities (WL_SEAT_CAPABILITY_*) as last announced.
    std::uint32_t seatCapabilities() const { return seatCapabilities_; }

    // Told of the seat's capabilities now and at every change, until removed:
    // a keyboard may come and go (a virtual one is made on demand).
    using SeatObserver = std::function<void(std::uint32_t capabilities)>;
    void addSeatObserver(const void* owner, SeatObserver observer);
    void removeSeatObserver(const void* owner);

    // Told of every output bound or gone after the first round trip.
    using OutputObserver = std::function<void(wl_output*, bool added)>;
    void setOutputObserver(OutputObserver observer) { outputObserver_ = std::move(observer); }

private:
    static void announced(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                          std::uint32_t version);
    static void removed(void* data, wl_registry* registry, std::uint32_t name);
    static void capabilities(void* data, wl_seat* seat, std::uint32_t capabilities);
    static void seatName(void*, wl_seat*, const char*) {}

    wl_registry* registry_;
    std::vector<Global> globals_;
    std::vector<std::pair<std::uint32_t, wl_output*>> outputNames_;
    std::vector<wl_output*> outputs_;
    wl_seat* seat_ = nullptr;
    std::uint32_t seatCapabilities_ = 0;
    std::vector<std::pair<const void*, SeatObserver>> seatObservers_;
    OutputObserver outputObserver_;
};

// A small connection of its own to the compositor of WAYLAND_DISPLAY, for
// the settings program, the tests and any helper without the lock's
// connection. Events are read only when asked (`dispatch`), so the owner
// decides where the socket is watched.
class ExtrasConnection {
public:
    // None when no compositor answers.
    static std::unique_ptr<ExtrasConnection> open(const char* socketName = nullptr);
    ~ExtrasConnection();
    ExtrasConnection(const ExtrasConnection&) = delete;
    ExtrasConnection& operator=(const ExtrasConnection&) = delete;

    wl_display* display() const { return display_; }
    WaylandGlobals& globals() { return *globals_; }
    int fd() const;

    // Reads what the socket holds without blocking and dispatches it; false
    // once the connection has failed.
    bool dispatch();
    // Waits until the compositor has handled every request sent so far, and
    // dispatches what it answered; false once the connection has failed.
    bool roundtrip();
    // Dispatches until `done` holds, or the connection fails, or
    // `timeoutMilliseconds` have passed; whether `done` holds.
    bool dispatchUntil(const std::function<bool()>& done, int timeoutMilliseconds);

private:
    explicit ExtrasConnection(wl_display* display);

    wl_display* display_;
    wl_registry* registry_;
    std::unique_ptr<WaylandGlobals> globals_;
};

}  // namespace platform::desktop::wayland
