#include "platform/desktop/x11/X11Keymaps.h"

#include <cstdlib>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
// The XKB protocol header names a field "explicit", which C++ reserves.
#define explicit explicit_field
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>

namespace platform::desktop {

namespace {

// More changes than a typing program makes while a busy event loop does not
// turn (xdotool makes two per letter); the reader lets go of those it has
// passed, so the history is this long only while keys wait.
constexpr std::size_t kHistoryLength = 128;

void unrefKeymap(xkb_keymap* keymap) { xkb_keymap_unref(keymap); }

}  // namespace

KeymapRef fetchCoreKeymap(xcb_connection_t* connection, xkb_context* context) {
    if (!xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                     XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr))
        return nullptr;
    const std::int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
    if (device < 0) return nullptr;
    xkb_keymap* keymap = xkb_x11_keymap_new_from_device(context, connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
    return keymap ? KeymapRef(keymap, unrefKeymap) : nullptr;
}

int selectKeymapNotifications(xcb_connection_t* connection) {
    std::uint8_t eventBase = 0;
    if (!xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                     XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, &eventBase, nullptr))
        return -1;
    const std::uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
    const std::uint16_t mapParts = 0xFF;  // every part of the map
    xcb_xkb_select_events(connection, XCB_XKB_ID_USE_CORE_KBD, events, 0, events, mapParts, mapParts, nullptr);
    xcb_flush(connection);
    return eventBase;
}

bool KeymapStamp::notAfter(const KeymapStamp& other) const {
    if (initial) return true;
    if (other.initial) return false;
    const auto difference = static_cast<std::int32_t>(time - other.time);
    return difference < 0 || (difference == 0 && ordinal <= other.ordinal);
}

KeymapStamp KeymapStamp::next(std::uint32_t eventTime) const {
    const bool sameMillisecond = !initial && eventTime == time;
    return {eventTime, sameMillisecond ? ordinal + 1 : 0, false};
}

std::unique_ptr<X11KeymapWatch> X11KeymapWatch::start(const std::string& displayName, Changed changed) {
    xcb_connection_t* connection = xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    const int eventBase = selectKeymapNotifications(connection);
    if (eventBase < 0) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::unique_ptr<X11KeymapWatch>(new X11KeymapWatch(connection, eventBase, std::move(changed)));
}

X11KeymapWatch::X11KeymapWatch(xcb_connection_t* connection, int eventBase, Changed changed)
    : connection_(connection),
      eventBase_(eventBase),
      changed_(std::move(changed)),
      context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)),
      stopFd_(::eventfd(0, EFD_CLOEXEC)) {
    // The keymap before any change; the notifications were asked for first,
    // so no change can fall between the two.
    history_.push_back({KeymapStamp{}, fetchCoreKeymap(connection_, context_)});
    thread_ = std::thread([this] { run(); });
}

X11KeymapWatch::~X11KeymapWatch() {
    const std::uint64_t one = 1;
    if (::write(stopFd_, &one, sizeof one) < 0) {
        // The thread then ends with the connection below.
    }
    thread_.join();
    ::close(stopFd_);
    history_.clear();
    xkb_context_unref(context_);
    xcb_disconnect(connection_);
}

void X11KeymapWatch::run() {
    for (;;) {
        readEvents();
        if (xcb_connection_has_error(connection_)) return;
        pollfd fds[2] = {{xcb_get_file_descriptor(connection_), POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) return;
    }
}

// Until the queue is empty: a reply read while fetching may have brought
// further notifications with it.
void X11KeymapWatch::readEvents() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        if ((event->response_type & 0x7F) == eventBase_) {
            const auto* xkb = reinterpret_cast<const xcb_xkb_new_keyboard_notify_event_t*>(event);
            if (xkb->xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY || xkb->xkbType == XCB_XKB_MAP_NOTIFY) record(xkb->time);
        }
        std::free(event);
    }
}

void X11KeymapWatch::record(std::uint32_t time) {
    KeymapRef keymap = fetchCoreKeymap(connection_, context_);
    {
        std::lock_guard<std::mutex> guard(lock_);
        history_.push_back({history_.back().stamp.next(time), std::move(keymap)});
        if (history_.size() > kHistoryLength) history_.erase(history_.begin());
    }
    if (changed_) changed_();
}

bool X11KeymapWatch::keymapAt(const KeymapStamp& stamp, KeymapRef& keymap) const {
    std::lock_guard<std::mutex> guard(lock_);
    if (!stamp.notAfter(history_.back().stamp)) return false;
    for (auto it = history_.rbegin(); it != history_.rend(); ++it) {
        if (it->stamp.notAfter(stamp)) {
            keymap = it->keymap;
            return true;
        }
    }
    keymap = history_.front().keymap;
    return true;
}

void X11KeymapWatch::forgetBefore(const KeymapStamp& stamp) {
    std::lock_guard<std::mutex> guard(lock_);
    std::size_t inUse = 0;
    for (std::size_t i = 0; i < history_.size() && history_[i].stamp.notAfter(stamp); ++i) inUse = i;
    history_.erase(history_.begin(), history_.begin() + static_cast<std::ptrdiff_t>(inUse));
}

}  // namespace platform::desktop
