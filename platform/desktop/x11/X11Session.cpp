#include <QAbstractEventDispatcher>
#include <QSocketNotifier>

#include "platform/desktop/x11/X11Session.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>
#include <algorithm>
#include <atomic>
#include <vector>

namespace platform::desktop {

namespace {

// Xlib reports errors through one process-wide handler. The trap counts on
// the main thread only; anything outside a trap is ignored rather than
// ending the process, which is Xlib's default.
std::atomic<int> trappedError{0};
std::atomic<int> trapDepth{0};

int recordError(Display*, XErrorEvent* error) {
    if (trapDepth.load() > 0 && trappedError.load() == 0) trappedError.store(error->error_code);
    return 0;
}

}  // namespace

X11Session::X11Session(Display* display) : display_(display), root_(DefaultRootWindow(display)) {
    XSetErrorHandler(recordError);
    int event = 0, error = 0, opcode = 0;
    if (XQueryExtension(display_, "XInputExtension", &opcode, &event, &error)) {
        int major = 2, minor = 2;
        if (XIQueryVersion(display_, &major, &minor) == Success) xinputOpcode_ = opcode;
    }
    if (XRRQueryExtension(display_, &event, &error)) randrEventBase_ = event;
    Bool supported = False;
    // Auto-repeat then comes as presses without releases in between, which
    // is how repeats are told apart.
    XkbSetDetectableAutoRepeat(display_, True, &supported);
    refreshModifierMasks();

    notifier_ = new QSocketNotifier(ConnectionNumber(display_), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { pump(); });
    // Xlib may have read events into its queue during a reply; they are
    // handled before the loop sleeps.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { pump(); });
}

X11Session::~X11Session() {
    delete notifier_;
    XCloseDisplay(display_);
}

int X11Session::addListener(Listener listener) {
    const int id = nextListener_++;
    listeners_[id] = std::move(listener);
    return id;
}

void X11Session::removeListener(int id) { listeners_.erase(id); }

int X11Session::addBatchListener(std::function<void()> listener) {
    const int id = nextListener_++;
    batchListeners_[id] = std::move(listener);
    return id;
}

void X11Session::removeBatchListener(int id) { batchListeners_.erase(id); }

void X11Session::pump() {
    XFlush(display_);
    for (int pending = XEventsQueued(display_, QueuedAfterReading); pending > 0; --pending) {
        XEvent event;
        XNextEvent(display_, &event);
        const bool cookie = event.type == GenericEvent && XGetEventData(display_, &event.xcookie);
        dispatch(event);
        if (cookie) XFreeEventData(display_, &event.xcookie);
    }
    std::vector<int> ids;
    for (const auto& [id, listener] : batchListeners_) ids.push_back(id);
    for (int id : ids)
        if (auto it = batchListeners_.find(id); it != batchListeners_.end()) std::function<void()>(it->second)();
    // What arrived meanwhile is the next batch, after the loop's other work;
    // read already, it would not wake the loop by itself.
    if (XEventsQueued(display_, QueuedAlready) > 0)
        if (auto* dispatcher = QAbstractEventDispatcher::instance()) dispatcher->wakeUp();
}

void X11Session::dispatch(XEvent& event) {
    if (event.type == MappingNotify) {
        XRefreshKeyboardMapping(&event.xmapping);
        refreshModifierMasks();
    }
    // A listener may remove itself or others while running.
    std::vector<int> ids;
    for (const auto& [id, listener] : listeners_) ids.push_back(id);
    for (int id : ids) {
        auto it = listeners_.find(id);
        if (it == listeners_.end()) continue;
        Listener listener = it->second;
        if (listener(event)) return;
    }
}

void X11Session::selectInput(::Window window, long mask, bool on) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display_, window, &attributes)) return;
    XSelectInput(display_, window, on ? (attributes.your_event_mask | mask) : (attributes.your_event_mask & ~mask));
}

void X11Session::selectRootXIEvents(int deviceId, std::initializer_list<int> events, bool on) {
    if (!hasXInput2()) return;
    for (int type : events) {
        int& users = rootXISelections_[{deviceId, type}];
        users = on ? users + 1 : std::max(0, users - 1);
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    for (const auto& [key, users] : rootXISelections_)
        if (key.first == deviceId && users > 0) XISetMask(bits, key.second);
    XIEventMask mask{deviceId, sizeof bits, bits};
    XISelectEvents(display_, root_, &mask, 1);
    XFlush(display_);
}

void X11Session::refreshModifierMasks() {
    keys::ModifierMasks masks;
    XModifierKeymap* map = XGetModifierMapping(display_);
    if (!map) return;
    const KeyCode numLock = XKeysymToKeycode(display_, XK_Num_Lock);
    const KeyCode superL = XKeysymToKeycode(display_, XK_Super_L);
    const KeyCode altL = XKeysymToKeycode(display_, XK_Alt_L);
    masks.numLock = 0;
    for (int modifier = Mod1MapIndex; modifier <= Mod5MapIndex; ++modifier) {
        for (int k = 0; k < map->max_keypermod; ++k) {
            const KeyCode code = map->modifiermap[modifier * map->max_keypermod + k];
            if (code == 0) continue;
            const unsigned mask = 1u << modifier;
            if (code == numLock) masks.numLock = mask;
            if (code == superL) masks.super = mask;
            if (code == altL) masks.alt = mask;
        }
    }
    XFreeModifiermap(map);
    masks_ = masks;
}

X11Session::ErrorTrap::ErrorTrap(X11Session& session) : session_(session) {
    XSync(session_.display_, False);
    if (trapDepth.fetch_add(1) == 0) trappedError.store(0);
}

X11Session::ErrorTrap::~ErrorTrap() { finish(); }

int X11Session::ErrorTrap::finish() {
    if (finished_) return trappedError.load();
    finished_ = true;
    XSync(session_.display_, False);
    const int error = trappedError.load();
    if (trapDepth.fetch_sub(1) == 1) trappedError.store(0);
    return error;
}

}  // namespace platform::desktop
