#include <QCoreApplication>

#include "platform/desktop/x11/X11Displays.h"

#include "platform/foundation/LogSink.h"

#include <X11/extensions/XInput2.h>
#include <xcb/xcb.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrandr.h>
#include <algorithm>
#include <malloc.h>
#include <string>
#include <unistd.h>
#include <utility>

namespace platform::desktop {

namespace {

// While another client holds the keyboard or the pointer (an open menu, a
// drag), the capture tries again this often, this many times in all.
constexpr int kCaptureAttempts = 10;
constexpr int kCaptureRetryMilliseconds = 100;

}  // namespace

X11Displays::X11Displays(X11Session& session, LockGuard& guard)
    : session_(session),
      guard_(guard),
      keyboard_(session,
                [this](const XKeyEvent& event, const KeyDecoder::Key& key, xkb_keysym_t baseKeysym) {
                    if (auto translated = keyEvents_.translate(event, key, baseKeysym, session_.modifierMasks());
                        translated && event.type == KeyPress)
                        deliver(translated);
                }),
      covers_(session),
      grabs_(session),
      gamma_(session, guard) {
    if (session_.randrEventBase() >= 0)
        XRRSelectInput(session_.display(), session_.root(),
                       RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    listener_ = session_.addListener([this](XEvent& event) { return handleEvent(event); });
    // The guard's covers go above the lock while the application stands
    // still; once it runs again, it raises its own over them.
    covers_.trustProcesses([this](pid_t pid) { return pid == ::getpid() || pid == guard_.pid(); });
    if (QCoreApplication::instance()) QCoreApplication::instance()->installNativeEventFilter(&crossingFilter_);
    heartbeat_.setInterval(guard::kHeartbeatMilliseconds);
    QObject::connect(&heartbeat_, &QTimer::timeout, [this] { beat(); });
    captureRetry_.setSingleShot(true);
    captureRetry_.setInterval(kCaptureRetryMilliseconds);
    QObject::connect(&captureRetry_, &QTimer::timeout, [this] { tryCaptureAll(); });
}

X11Displays::~X11Displays() {
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(&crossingFilter_);
    session_.removeListener(listener_);
    releaseAll();
}

bool X11Displays::CrossingFilter::nativeEventFilter(const QByteArray& type, void* message, qintptr*) {
    if (!displays_.isCaptured() || type != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const auto kind = static_cast<std::uint8_t>(event->response_type & ~0x80);
    if (kind == XCB_ENTER_NOTIFY || kind == XCB_LEAVE_NOTIFY) return true;
    if (kind != XCB_GE_GENERIC) return false;
    const auto* generic = static_cast<const xcb_ge_generic_event_t*>(message);
    return generic->extension == displays_.session_.xinputOpcode() &&
           (generic->event_type == XI_Enter || generic->event_type == XI_Leave);
}

std::vector<Monitor> X11Displays::monitors() { return queryMonitors(session_); }

int X11Displays::onlineDisplays(std::uint32_t maxDisplays, std::vector<DisplayID>& out) {
    out.clear();
    for (const Monitor& monitor : monitors()) {
        if (out.size() >= maxDisplays) break;
        out.push_back(monitor.id);
    }
    return 0;
}

DisplayID X11Displays::mainDisplay() { return monitors().front().id; }

Rect X11Displays::fromRoot(const Rect& frame) {
    const Monitor main = monitors().front();
    return {frame.x - main.x, (main.y + main.height) - (frame.y + frame.height), frame.width, frame.height};
}

Rect X11Displays::toRoot(const Rect& frame) {
    const Monitor main = monitors().front();
    return {frame.x + main.x, main.y + main.height - (frame.y + frame.height), frame.width, frame.height};
}

std::vector<Rect> X11Displays::screenFrames() {
    std::vector<Rect> frames;
    for (const Monitor& m : monitors())
        frames.push_back(fromRoot({double(m.x), double(m.y), double(m.width), double(m.height)}));
    return frames;
}

// ---- capture ------------------------------------------------------------

int X11Displays::capture(DisplayID display, std::uint32_t) {
    const std::vector<Monitor> all = monitors();
    if (std::none_of(all.begin(), all.end(), [display](const Monitor& m) { return m.id == display; }))
        return kIllegalArgument;
    // Never a lock without the keyboard: nothing is covered unless the
    // grabs hold.
    if (!takeGrabs()) return kCannotComplete;
    // Every monitor and screen is covered at the first capture; later ones
    // only follow changes.
    coveredMonitors_ = all;
    covers_.cover(all);
    XSync(session_.display(), False);
    return 0;
}

bool X11Displays::takeGrabs() {
    if (grabs_.held()) return true;
    // The guard stands by before the grab: should the application die
    // between the two, the session is locked all the same.
    guard_.lockEngaged();
    if (!grabs_.take()) {
        guard_.lockReleased();
        return false;
    }
    startDefending();
    return true;
}

void X11Displays::captureAll(std::function<void(CaptureOutcome)> done) {
    captureRetry_.stop();
    captureDone_ = std::move(done);
    captureAttempts_ = 0;
    tryCaptureAll();
}

void X11Displays::tryCaptureAll() {
    if (!takeGrabs()) {
        if (++captureAttempts_ < kCaptureAttempts) {
            LogSink::write("Tarnwick: the keyboard or the pointer is held by another client (attempt " +
                           std::to_string(captureAttempts_) + " of " + std::to_string(kCaptureAttempts) + ")");
            captureRetry_.start();
        } else {
            finishCapture(CaptureOutcome::Refused);
        }
        return;
    }
    followMonitors();
    XSync(session_.display(), False);
    finishCapture(CaptureOutcome::Held);
}

void X11Displays::finishCapture(CaptureOutcome outcome) {
    // Answered from the event loop, never from inside the caller's request.
    QTimer::singleShot(0, &heartbeat_, [done = std::exchange(captureDone_, nullptr), outcome] {
        if (done) done(outcome);
    });
}

void X11Displays::startDefending() {
    keyEvents_.reset();
    keyboard_.reset();
    // A lost keyboard grab shows as the root losing the focus; a new master
    // device as a hierarchy change; a monitor defined without an output
    // change (a RandR 1.5 virtual monitor) sends no RandR event, only a new
    // configuration of the root window.
    session_.selectInput(session_.root(), FocusChangeMask | StructureNotifyMask, true);
    session_.selectRootXIEvents(XIAllDevices, {XI_HierarchyChanged}, true);
    beatsSinceCheck_ = 0;
    heartbeat_.start();
}

void X11Displays::beat() {
    // Each check costs several round trips to the server, each a wakeup of
    // the application; the heartbeat itself costs one.
    constexpr int kBeatsPerCheck = 3;
    guard_.heartbeat();
    if (++beatsSinceCheck_ < kBeatsPerCheck) return;
    beatsSinceCheck_ = 0;
    grabs_.reassert();
    covers_.keepOnTop();
}

void X11Displays::stopDefending() {
    heartbeat_.stop();
    // Keys still waiting for their keymap were typed at the lock.
    keyboard_.reset();
    session_.selectRootXIEvents(XIAllDevices, {XI_HierarchyChanged}, false);
    session_.selectInput(session_.root(), FocusChangeMask | StructureNotifyMask, false);
}

int X11Displays::releaseAll() {
    captureRetry_.stop();
    captureDone_ = nullptr;
    if (grabs_.held()) {
        stopDefending();
        grabs_.release();
        guard_.lockReleased();
    }
    covers_.uncoverAll();
    XSync(session_.display(), False);
    returnFreedMemoryLater();
    return 0;
}

// A lock cycle builds and drops windows, images and a photographer with its
// thread; once the unlock has settled, the freed memory goes back to the
// system, so that many cycles leave the process as small as one.
void X11Displays::returnFreedMemoryLater() {
    constexpr int kSettleMilliseconds = 2000;
    QTimer::singleShot(kSettleMilliseconds, &heartbeat_, [] { ::malloc_trim(0); });
}

void X11Displays::addShieldWindow(unsigned long window, std::function<void()> lost) {
    covers_.addShield(window, std::move(lost));
}

void X11Displays::removeShieldWindow(unsigned long window) { covers_.removeShield(window); }

void X11Displays::followMonitors() {
    coveredMonitors_ = monitors();
    covers_.cover(coveredMonitors_);
}

// ---- cursor -------------------------------------------------------------

int X11Displays::hideCursor(DisplayID) {
    if (cursorHidden_) return 0;
    X11Session::ErrorTrap trap(session_);
    XFixesHideCursor(session_.display(), session_.root());
    if (trap.finish() != 0) return kFailure;
    cursorHidden_ = true;
    return 0;
}

int X11Displays::showCursor(DisplayID) {
    if (!cursorHidden_) return 0;
    XFixesShowCursor(session_.display(), session_.root());
    XSync(session_.display(), False);
    cursorHidden_ = false;
    return 0;
}

// ---- fades --------------------------------------------------------------

int X11Displays::acquireFadeReservation(double seconds, std::uint32_t& token) {
    return gamma_.acquireReservation(seconds, token, kNoneAvailable, kIllegalArgument);
}

int X11Displays::fade(std::uint32_t token, double duration, double startBlend, double endBlend, double red,
                      double green, double blue, bool synchronous) {
    return gamma_.fade(token, duration, startBlend, endBlend, red, green, blue, synchronous) == 0 ? 0
                                                                                                  : kIllegalArgument;
}

int X11Displays::releaseFadeReservation(std::uint32_t token) { return gamma_.release(token) ? 0 : kIllegalArgument; }

}  // namespace platform::desktop
