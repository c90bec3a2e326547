#include "platform/desktop/wayland/LockClient.h"

#include "platform/desktop/wayland/ShmBuffer.h"

#include "ext-session-lock-v1-client-protocol.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/timerfd.h>
#include <unistd.h>
#include <wayland-client.h>

namespace platform::desktop::wayland {

struct LockClient::Globals {
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    ext_session_lock_manager_v1* lockManager = nullptr;
    ext_session_lock_v1* lock = nullptr;
};

struct LockClient::Surface {
    wl_surface* surface = nullptr;
    ext_session_lock_surface_v1* lockSurface = nullptr;
    std::uint32_t width = 0;  // logical size, as configured
    std::uint32_t height = 0;
    bool configured = false;
    bool waitsForBuffer = false;  // repaint once a buffer is released
    std::array<std::unique_ptr<ShmBuffer>, 2> buffers;

    ~Surface() {
        buffers = {};
        if (lockSurface) ext_session_lock_surface_v1_destroy(lockSurface);
        if (surface) wl_surface_destroy(surface);
    }
};

struct LockClient::Output {
    LockClient* client = nullptr;
    std::uint32_t name = 0;  // the registry's
    wl_output* output = nullptr;
    std::uint32_t version = 0;
    std::int32_t scale = 1;
    std::int32_t pendingScale = 1;
    std::int32_t width = 0;  // the current mode
    std::int32_t height = 0;
    std::string outputName;
    std::unique_ptr<Surface> surface;

    ~Output() {
        surface.reset();
        if (!output) return;
        if (version >= WL_OUTPUT_RELEASE_SINCE_VERSION)
            wl_output_release(output);
        else
            wl_output_destroy(output);
    }
};

struct LockClient::Seat {
    LockClient* client = nullptr;
    std::uint32_t name = 0;
    wl_seat* seat = nullptr;
    std::uint32_t version = 0;
    wl_keyboard* keyboard = nullptr;
    wl_pointer* pointer = nullptr;
    LockKeyboard keys;

    explicit Seat(LockKeyboard::Log log) : keys(std::move(log)) {}
    ~Seat() {
        releaseKeyboard();
        releasePointer();
        if (!seat) return;
        if (version >= WL_SEAT_RELEASE_SINCE_VERSION)
            wl_seat_release(seat);
        else
            wl_seat_destroy(seat);
    }
    void releaseKeyboard() {
        if (!keyboard) return;
        if (version >= WL_KEYBOARD_RELEASE_SINCE_VERSION)
            wl_keyboard_release(keyboard);
        else
            wl_keyboard_destroy(keyboard);
        keyboard = nullptr;
        keys.reset();
    }
    void releasePointer() {
        if (!pointer) return;
        if (version >= WL_POINTER_RELEASE_SINCE_VERSION)
            wl_pointer_release(pointer);
        else
            wl_pointer_destroy(pointer);
        pointer = nullptr;
    }
};

// The C callbacks of every Wayland object the client listens to.
struct Listeners {
    static void global(void* data, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t version) {
        static_cast<LockClient*>(data)->bindGlobal(name, interface, version);
    }
    static void globalRemove(void* data, wl_registry*, std::uint32_t name) {
        static_cast<LockClient*>(data)->removeGlobal(name);
    }
    static constexpr wl_registry_listener registry = {.global = global, .global_remove = globalRemove};

    static void outputGeometry(void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                               const char*, const char*, std::int32_t) {}
    static void outputMode(void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height,
                           std::int32_t) {
        if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
        auto& output = *static_cast<LockClient::Output*>(data);
        output.width = width;
        output.height = height;
    }
    static void outputDone(void* data, wl_output*) {
        auto& output = *static_cast<LockClient::Output*>(data);
        if (output.pendingScale == output.scale) return;
        output.scale = output.pendingScale;
        if (output.surface && output.surface->configured) output.client->paint(*output.surface);
    }
    static void outputScale(void* data, wl_output*, std::int32_t factor) {
        static_cast<LockClient::Output*>(data)->pendingScale = std::clamp(factor, 1, 16);
    }
    static void outputName(void* data, wl_output*, const char* name) {
        static_cast<LockClient::Output*>(data)->outputName = name ? name : "";
    }
    static void outputDescription(void*, wl_output*, const char*) {}
    static constexpr wl_output_listener output = {.geometry = outputGeometry,
                                                  .mode = outputMode,
                                                  .done = outputDone,
                                                  .scale = outputScale,
                                                  .name = outputName,
                                                  .description = outputDescription};

    static void locked(void* data, ext_session_lock_v1*) { static_cast<LockClient*>(data)->onLocked(); }
    static void finished(void* data, ext_session_lock_v1*) { static_cast<LockClient*>(data)->onFinished(); }
    static constexpr ext_session_lock_v1_listener lock = {.locked = locked, .finished = finished};

    static void configure(void* data, ext_session_lock_surface_v1* lockSurface, std::uint32_t serial,
                          std::uint32_t width, std::uint32_t height) {
        auto& output = *static_cast<LockClient::Output*>(data);
        LockClient::Surface& surface = *output.surface;
        ext_session_lock_surface_v1_ack_configure(lockSurface, serial);
        if (!surface.configured)
            output.client->log("Tarnwick: a lock surface covers output " + output.outputName + " (" +
                               std::to_string(width) + "x" + std::to_string(height) + ")");
        surface.width = width;
        surface.height = height;
        surface.configured = true;
        output.client->paint(surface);
    }
    static constexpr ext_session_lock_surface_v1_listener lockSurface = {.configure = configure};

    static void capabilities(void* data, wl_seat* wlSeat, std::uint32_t caps) {
        auto& seat = *static_cast<LockClient::Seat*>(data);
        const bool keyboard = caps & WL_SEAT_CAPABILITY_KEYBOARD, pointer = caps & WL_SEAT_CAPABILITY_POINTER;
        if (keyboard && !seat.keyboard) {
            seat.keyboard = wl_seat_get_keyboard(wlSeat);
            wl_keyboard_add_listener(seat.keyboard, &Listeners::keyboard, &seat);
        } else if (!keyboard && seat.keyboard) {
            seat.releaseKeyboard();
        }
        if (pointer && !seat.pointer) {
            seat.pointer = wl_seat_get_pointer(wlSeat);
            wl_pointer_add_listener(seat.pointer, &Listeners::pointer, &seat);
        } else if (!pointer && seat.pointer) {
            seat.releasePointer();
        }
    }
    static void seatName(void*, wl_seat*, const char*) {}
    static constexpr wl_seat_listener seat = {.capabilities = capabilities, .name = seatName};

    static void keymap(void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd, std::uint32_t size) {
        auto& seat = *static_cast<LockClient::Seat*>(data);
        if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
            seat.keys.takeKeymapFile(fd, size);
        } else {
            seat.client->log(
                "Tarnwick: the compositor sent a keymap in a format other than XKB; the lock keeps its own");
            seat.keys.takeKeymapText("");
        }
        ::close(fd);
    }
    static void enter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
    static void leave(void* data, wl_keyboard*, std::uint32_t, wl_surface*) {
        auto& seat = *static_cast<LockClient::Seat*>(data);
        seat.keys.reset();
        seat.client->armRepeat(seat.keys);
    }
    static void key(void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key, std::uint32_t state) {
        auto& seat = *static_cast<LockClient::Seat*>(data);
        const std::optional<TypedKey> press = seat.keys.key(key, state == WL_KEYBOARD_KEY_STATE_PRESSED);
        seat.client->repeatingSeat_ = &seat;
        seat.client->armRepeat(seat.keys);
        if (press) seat.client->onKey(*press);
    }
    static void modifiers(void* data, wl_keyboard*, std::uint32_t, std::uint32_t depressed, std::uint32_t latched,
                          std::uint32_t locked, std::uint32_t group) {
        static_cast<LockClient::Seat*>(data)->keys.updateModifiers(depressed, latched, locked, group);
    }
    static void repeatInfo(void* data, wl_keyboard*, std::int32_t rate, std::int32_t delay) {
        static_cast<LockClient::Seat*>(data)->keys.setRepeatInfo({std::max(rate, 0), std::max(delay, 0)});
    }
    static constexpr wl_keyboard_listener keyboard = {.keymap = keymap,
                                                      .enter = enter,
                                                      .leave = leave,
                                                      .key = key,
                                                      .modifiers = modifiers,
                                                      .repeat_info = repeatInfo};

    // No pointer over the lock: the cursor would only say where the desktop was.
    static void pointerEnter(void*, wl_pointer* pointer, std::uint32_t serial, wl_surface*, wl_fixed_t, wl_fixed_t) {
        wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);
    }
    static void pointerLeave(void*, wl_pointer*, std::uint32_t, wl_surface*) {}
    static void motion(void*, wl_pointer*, std::uint32_t, wl_fixed_t, wl_fixed_t) {}
    static void button(void*, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
    static void axis(void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {}
    static void frame(void*, wl_pointer*) {}
    static void axisSource(void*, wl_pointer*, std::uint32_t) {}
    static void axisStop(void*, wl_pointer*, std::uint32_t, std::uint32_t) {}
    static void axisDiscrete(void*, wl_pointer*, std::uint32_t, std::int32_t) {}
    static void axisValue120(void*, wl_pointer*, std::uint32_t, std::int32_t) {}
    // Built field by field: newer libwayland adds events (axis_relative_direction)
    // that a seat bound at version 7 never sends.
    static wl_pointer_listener makePointer() {
        wl_pointer_listener listener{};
        listener.enter = pointerEnter;
        listener.leave = pointerLeave;
        listener.motion = motion;
        listener.button = button;
        listener.axis = axis;
        listener.frame = frame;
        listener.axis_source = axisSource;
        listener.axis_stop = axisStop;
        listener.axis_discrete = axisDiscrete;
        listener.axis_value120 = axisValue120;
        return listener;
    }
    static inline const wl_pointer_listener pointer = makePointer();
};

LockClient::LockClient() : globals_(std::make_unique<Globals>()) {}

std::unique_ptr<LockClient> LockClient::connect(const char* displayName, std::string& error) {
    wl_display* display = wl_display_connect(displayName);
    if (!display) {
        error = std::string("no Wayland compositor answers: ") + std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<LockClient> client(new LockClient);
    client->globals_->display = display;
    client->globals_->registry = wl_display_get_registry(display);
    wl_registry_add_listener(client->globals_->registry, &Listeners::registry, client.get());
    // The globals, then what binding them sent (output scales, seat capabilities, keymaps).
    if (wl_display_roundtrip(display) < 0 || wl_display_roundtrip(display) < 0) {
        error = "the Wayland compositor closed the connection while it was being set up";
        return nullptr;
    }
    client->repeatTimer_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    client->pollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event readable{.events = EPOLLIN, .data = {.fd = wl_display_get_fd(display)}};
    ::epoll_ctl(client->pollFd_, EPOLL_CTL_ADD, wl_display_get_fd(display), &readable);
    epoll_event timer{.events = EPOLLIN, .data = {.fd = client->repeatTimer_}};
    ::epoll_ctl(client->pollFd_, EPOLL_CTL_ADD, client->repeatTimer_, &timer);
    return client;
}

LockClient::~LockClient() {
    Globals& g = *globals_;
    outputs_.clear();
    seats_.clear();
    if (g.lock && state_ == LockState::Requested) ext_session_lock_v1_destroy(g.lock);
    // A held lock is left to the compositor: the session stays locked when
    // this client goes, which is what keeps it locked after a crash too.
    if (g.lockManager) ext_session_lock_manager_v1_destroy(g.lockManager);
    if (g.shm) wl_shm_destroy(g.shm);
    if (g.compositor) wl_compositor_destroy(g.compositor);
    if (g.registry) wl_registry_destroy(g.registry);
    if (g.display) wl_display_disconnect(g.display);
    if (pollFd_ >= 0) ::close(pollFd_);
    if (repeatTimer_ >= 0) ::close(repeatTimer_);
}

void LockClient::setHandlers(LockHandlers handlers) { handlers_ = std::move(handlers); }

void LockClient::bindGlobal(std::uint32_t name, const char* interface, std::uint32_t version) {
    Globals& g = *globals_;
    const auto is = [interface](const wl_interface& known) { return std::strcmp(interface, known.name) == 0; };
    if (is(wl_compositor_interface) && !g.compositor) {
        g.compositor = static_cast<wl_compositor*>(
            wl_registry_bind(g.registry, name, &wl_compositor_interface, std::min(version, 4u)));
    } else if (is(wl_shm_interface) && !g.shm) {
        g.shm = static_cast<wl_shm*>(wl_registry_bind(g.registry, name, &wl_shm_interface, 1));
    } else if (is(ext_session_lock_manager_v1_interface) && !g.lockManager) {
        g.lockManager = static_cast<ext_session_lock_manager_v1*>(
            wl_registry_bind(g.registry, name, &ext_session_lock_manager_v1_interface, 1));
    } else if (is(wl_output_interface)) {
        auto output = std::make_unique<Output>();
        output->client = this;
        output->name = name;
        output->version = std::min(version, 4u);
        output->output =
            static_cast<wl_output*>(wl_registry_bind(g.registry, name, &wl_output_interface, output->version));
        wl_output_add_listener(output->output, &Listeners::output, output.get());
        outputs_.push_back(std::move(output));
        // An output that appears while locked is covered at once.
        if (g.lock) addSurface(*outputs_.back());
    } else if (is(wl_seat_interface)) {
        auto seat = std::make_unique<Seat>([this](const std::string& line) { log(line); });
        seat->client = this;
        seat->name = name;
        seat->version = std::min(version, 7u);
        seat->seat = static_cast<wl_seat*>(wl_registry_bind(g.registry, name, &wl_seat_interface, seat->version));
        wl_seat_add_listener(seat->seat, &Listeners::seat, seat.get());
        seats_.push_back(std::move(seat));
    }
}

void LockClient::removeGlobal(std::uint32_t name) {
    // The surface of an output that went away goes with it.
    std::erase_if(outputs_, [name](const std::unique_ptr<Output>& output) { return output->name == name; });
    std::erase_if(seats_, [this, name](const std::unique_ptr<Seat>& seat) {
        if (seat->name != name) return false;
        if (repeatingSeat_ == seat.get()) repeatingSeat_ = nullptr;
        return true;
    });
}

bool LockClient::offersSessionLock() const { return globals_->lockManager != nullptr; }

bool LockClient::lock() {
    Globals& g = *globals_;
    if (!connected_ || !g.lockManager || !g.compositor || !g.shm || g.lock) return false;
    g.lock = ext_session_lock_manager_v1_lock(g.lockManager);
    ext_session_lock_v1_add_listener(g.lock, &Listeners::lock, this);
    state_ = LockState::Requested;
    for (const auto& output : outputs_) addSurface(*output);
    flush();
    return true;
}

void LockClient::addSurface(Output& output) {
    if (output.surface) return;
    Globals& g = *globals_;
    output.surface = std::make_unique<Surface>();
    output.surface->surface = wl_compositor_create_surface(g.compositor);
    output.surface->lockSurface = ext_session_lock_v1_get_lock_surface(g.lock, output.surface->surface, output.output);
    ext_session_lock_surface_v1_add_listener(output.surface->lockSurface, &Listeners::lockSurface, &output);
}

void LockClient::dropSurfaces() {
    for (const auto& output : outputs_) output->surface.reset();
}

void LockClient::unlock() {
    Globals& g = *globals_;
    if (!g.lock) return;
    dropSurfaces();
    // Before `locked` only destroy is allowed, after it only unlock_and_destroy.
    if (state_ == LockState::Locked)
        ext_session_lock_v1_unlock_and_destroy(g.lock);
    else
        ext_session_lock_v1_destroy(g.lock);
    g.lock = nullptr;
    state_ = LockState::Unlocked;
    flush();
}

void LockClient::roundtrip() {
    if (connected_ && wl_display_roundtrip(globals_->display) < 0) fail("the compositor closed the connection");
}

void LockClient::onLocked() {
    state_ = LockState::Locked;
    if (handlers_.locked) handlers_.locked();
}

void LockClient::onFinished() {
    const LockEnd end = state_ == LockState::Locked ? LockEnd::Lost : LockEnd::Refused;
    log(end == LockEnd::Lost ? "Tarnwick: the compositor ended the session lock (finished after locked)"
                             : "Tarnwick: the compositor refused the session lock (another locker may hold it)");
    // The request the protocol asks for on `finished`: unlock_and_destroy
    // after `locked`, destroy before. Either way the compositor no longer
    // counts this lock.
    unlock();
    if (handlers_.ended) handlers_.ended(end);
}

void LockClient::redraw() {
    for (const auto& output : outputs_)
        if (output->surface && output->surface->configured) paint(*output->surface);
    flush();
}

std::unique_ptr<ShmBuffer> LockClient::newBuffer(Surface& surface, int width, int height) {
    std::unique_ptr<ShmBuffer> buffer = ShmBuffer::create(globals_->shm, width, height);
    if (!buffer) {
        log("Tarnwick: no shared memory for a lock surface of " + std::to_string(width) + "x" + std::to_string(height));
        return nullptr;
    }
    buffer->setReleaseHandler([this, &surface] {
        if (surface.waitsForBuffer) paint(surface);
    });
    return buffer;
}

void LockClient::paint(Surface& surface) {
    const Output* output = nullptr;
    for (const auto& candidate : outputs_)
        if (candidate->surface.get() == &surface) output = candidate.get();
    if (!output || surface.width == 0 || surface.height == 0) return;
    // Exactly the configured size times the scale, or the compositor ends the connection.
    const int scale = output->scale;
    const int width = static_cast<int>(surface.width) * scale, height = static_cast<int>(surface.height) * scale;
    ShmBuffer* target = nullptr;
    for (auto& buffer : surface.buffers) {
        if (buffer && buffer->busy()) continue;
        if (!buffer || buffer->width() != width || buffer->height() != height)
            buffer = newBuffer(surface, width, height);
        target = buffer.get();
        break;
    }
    if (!target) {
        surface.waitsForBuffer = true;
        return;
    }
    surface.waitsForBuffer = false;
    Canvas canvas{
        target->pixels(), width, height, target->stride(), scale, output->outputName, output == outputs_.front().get()};
    if (handlers_.paint)
        handlers_.paint(canvas);
    else
        std::fill_n(target->pixels(), static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0xFF000000u);
    wl_surface_set_buffer_scale(surface.surface, scale);
    wl_surface_attach(surface.surface, target->buffer(), 0, 0);
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(surface.surface)) >= WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION)
        wl_surface_damage_buffer(surface.surface, 0, 0, width, height);
    else
        wl_surface_damage(surface.surface, 0, 0, surface.width, surface.height);
    wl_surface_commit(surface.surface);
    target->markBusy();
}

void LockClient::onKey(const TypedKey& press) {
    if (state_ == LockState::Locked && handlers_.key) handlers_.key(press);
}

void LockClient::armRepeat(const LockKeyboard& keyboard) {
    const RepeatInfo& info = keyboard.repeatInfo();
    itimerspec when{};
    if (keyboard.repeatingKey() && info.rate > 0) {
        const long delay = std::max(info.delayMilliseconds, 1);
        const long interval = std::max(1000 / info.rate, 1);
        when.it_value = {delay / 1000, (delay % 1000) * 1000000};
        when.it_interval = {interval / 1000, (interval % 1000) * 1000000};
    }
    ::timerfd_settime(repeatTimer_, 0, &when, nullptr);
}

void LockClient::repeatKey() {
    std::uint64_t expirations = 0;
    if (::read(repeatTimer_, &expirations, sizeof expirations) != sizeof expirations || !repeatingSeat_) return;
    // A late wake-up types the key once, not once per missed interval.
    if (const std::optional<TypedKey> press = repeatingSeat_->keys.repeat()) onKey(*press);
}

void LockClient::dispatch() {
    if (!connected_) return;
    repeatKey();
    wl_display* display = globals_->display;
    while (wl_display_prepare_read(display) != 0)
        if (wl_display_dispatch_pending(display) < 0) return fail("a protocol error");
    flush();
    pollfd socket{wl_display_get_fd(display), POLLIN, 0};
    if (::poll(&socket, 1, 0) > 0 && (socket.revents & (POLLIN | POLLHUP | POLLERR))) {
        if (wl_display_read_events(display) < 0) return fail("the compositor closed the connection");
    } else {
        wl_display_cancel_read(display);
    }
    if (wl_display_dispatch_pending(display) < 0) return fail("a protocol error");
    flush();
}

void LockClient::flush() {
    if (!connected_) return;
    wl_display* display = globals_->display;
    const int fd = wl_display_get_fd(display);
    const bool full = wl_display_flush(display) < 0 && errno == EAGAIN;
    if (full == waitingToWrite_) return;
    // A full socket is written as soon as it takes more.
    waitingToWrite_ = full;
    epoll_event events{.events = EPOLLIN | (full ? EPOLLOUT : 0u), .data = {.fd = fd}};
    ::epoll_ctl(pollFd_, EPOLL_CTL_MOD, fd, &events);
}

void LockClient::fail(const std::string& why) {
    if (!connected_) return;
    connected_ = false;
    const int code = wl_display_get_error(globals_->display);
    std::string message = "Tarnwick: the Wayland connection of the lock ended: " + why;
    if (code == EPROTO) {
        const wl_interface* interface = nullptr;
        std::uint32_t id = 0;
        const std::uint32_t error = wl_display_get_protocol_error(globals_->display, &interface, &id);
        message += " (" + std::string(interface ? interface->name : "unknown") + "#" + std::to_string(id) + " error " +
                   std::to_string(error) + ")";
    } else if (code) {
        message += std::string(" (") + std::strerror(code) + ")";
    }
    log(message);
    ::epoll_ctl(pollFd_, EPOLL_CTL_DEL, wl_display_get_fd(globals_->display), nullptr);
    const itimerspec off{};
    ::timerfd_settime(repeatTimer_, 0, &off, nullptr);
    if (handlers_.connectionLost) handlers_.connectionLost(message);
}

void LockClient::log(const std::string& line) const {
    if (handlers_.log) handlers_.log(line);
}

std::size_t LockClient::outputCount() const { return outputs_.size(); }

std::vector<OutputInfo> LockClient::outputs() const {
    std::vector<OutputInfo> result;
    for (const auto& output : outputs_)
        result.push_back({output->outputName, output->width, output->height, output->scale});
    return result;
}

std::size_t LockClient::lockSurfaceCount() const {
    return static_cast<std::size_t>(
        std::count_if(outputs_.begin(), outputs_.end(), [](const auto& output) { return output->surface != nullptr; }));
}

std::optional<bool> compositorOffersSessionLock(const char* displayName, std::string& error) {
    const std::unique_ptr<LockClient> client = LockClient::connect(displayName, error);
    if (!client) return std::nullopt;
    return client->offersSessionLock();
}

}  // namespace platform::desktop::wayland
