#include "platform/desktop/x11/X11Keyboard.h"

#include "platform/foundation/LogSink.h"

#include <X11/XKBlib.h>
#include <X11/Xlib-xcb.h>

namespace platform::desktop {

namespace {

constexpr int kLongestWaitMilliseconds = 250;

}  // namespace

X11Keyboard::X11Keyboard(X11Session& session, Sink sink)
    : session_(session), sink_(std::move(sink)), context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {
    Display* display = session_.display();
    // The watch asks for the notifications first: a change between the two
    // requests is then one the watch has and the session has not, which
    // costs nothing; the other way round a key would wait for nothing.
    watch_ = X11KeymapWatch::start(DisplayString(display), [this] {
        QMetaObject::invokeMethod(
            this, [this] { decodeWaiting(); }, Qt::QueuedConnection);
    });
    int opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (XkbQueryExtension(display, &opcode, &xkbEventBase_, &error, &major, &minor)) {
        const unsigned long events = XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
        XkbSelectEvents(display, XkbUseCoreKbd, events, events);
    } else {
        xkbEventBase_ = -1;
    }
    if (!watch_) LogSink::write("Tarnwick: cannot watch the keyboard map; keys are decoded with the map at hand");
    useKeymapOf(announced_, true);
    listener_ = session_.addListener([this](XEvent& event) { return onEvent(event); });
    behind_.setSingleShot(true);
    behind_.setInterval(kLongestWaitMilliseconds);
    QObject::connect(&behind_, &QTimer::timeout, this, [this] {
        if (!waiting_.empty()) useKeymapOf(waiting_.front().stamp, true);
        decodeWaiting();
    });
}

X11Keyboard::~X11Keyboard() {
    session_.removeListener(listener_);
    watch_.reset();
    xkb_context_unref(context_);
}

bool X11Keyboard::onEvent(XEvent& event) {
    if (xkbEventBase_ < 0 || event.type != xkbEventBase_) return false;
    const auto& any = reinterpret_cast<const XkbAnyEvent&>(event);
    if (any.xkb_type != XkbNewKeyboardNotify && any.xkb_type != XkbMapNotify) return false;
    keymapAnnounced(any.time);
    // A client that asks for these hears no core MappingNotify in their place.
    session_.refreshModifierMasks();
    return false;
}

void X11Keyboard::keymapAnnounced(std::uint32_t time) {
    announced_ = announced_.next(time);
    // With no key waiting, every key to come is decoded with this keymap or
    // a later one.
    if (watch_ && waiting_.empty()) watch_->forgetBefore(announced_);
    // Without a watch the keymap is read now, which is as late as the
    // event loop came round to the change.
    if (!watch_) useKeymapOf(announced_, true);
}

void X11Keyboard::take(const XKeyEvent& event) {
    waiting_.push_back({event, announced_});
    decodeWaiting();
}

void X11Keyboard::decodeWaiting() {
    while (!waiting_.empty()) {
        if (!useKeymapOf(waiting_.front().stamp, false)) {
            if (!behind_.isActive()) behind_.start();
            return;
        }
        const XKeyEvent event = waiting_.front().event;
        waiting_.pop_front();
        decode(event);
    }
    behind_.stop();
    if (watch_) watch_->forgetBefore(decoding_);
}

// False while the watch has not read the keymap of `stamp`.
bool X11Keyboard::useKeymapOf(const KeymapStamp& stamp, bool evenIfBehind) {
    if (decoder_.hasKeymap() && stamp.notAfter(decoding_) && decoding_.notAfter(stamp)) return true;
    KeymapRef keymap;
    if (watch_ && !watch_->keymapAt(stamp, keymap) && !evenIfBehind) return false;
    if (!watch_ || !keymap) keymap = fetchCoreKeymap(XGetXCBConnection(session_.display()), context_);
    // A keymap that cannot be read leaves the previous one in use.
    if (keymap) decoder_.setKeymap(keymap.get());
    decoding_ = stamp;
    return true;
}

void X11Keyboard::decode(const XKeyEvent& event) {
    decoder_.updateMaskFromCoreState(event.state);
    const xkb_keysym_t base = decoder_.baseKeysym(event.keycode);
    if (event.type == KeyPress) {
        const KeyDecoder::Key key = decoder_.press(event.keycode);
        sink_(event, key, base);
    } else {
        decoder_.release(event.keycode);
        sink_(event, {}, base);
    }
}

void X11Keyboard::reset() {
    waiting_.clear();
    behind_.stop();
    decoder_.resetCompose();
}

}  // namespace platform::desktop
