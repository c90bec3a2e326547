#include "platform/desktop/X11Displays.h"

#include "platform/foundation/LogSink.h"
#include "platform/ui/Window.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrandr.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace platform::desktop {

namespace {

constexpr int kGrabAttempts = 10;
constexpr auto kGrabRetryPause = std::chrono::milliseconds(100);
constexpr double kFadeStepsPerSecond = 60.0;
constexpr int kMonitorWatchMilliseconds = 250;

void log(const std::string& message) { LogSink::write("Tarnwick: " + message); }

}  // namespace

X11Displays::X11Displays(X11Session& session, GammaWatchdog& watchdog)
    : session_(session), watchdog_(watchdog), keyEvents_(session.display()) {
    Display* dpy = session_.display();
    if (session_.randrEventBase() >= 0)
        XRRSelectInput(dpy, session_.root(), RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    listener_ = session_.addListener([this](XEvent& event) { return handleEvent(event); });
    monitorWatch_.setInterval(kMonitorWatchMilliseconds);
    QObject::connect(&monitorWatch_, &QTimer::timeout, [this] {
        if (grabbed_ && monitors() != coveredMonitors_) followMonitors();
    });
    reservationExpiry_.setSingleShot(true);
    QObject::connect(&reservationExpiry_, &QTimer::timeout, [this] { endReservation(); });
}

X11Displays::~X11Displays() {
    session_.removeListener(listener_);
    if (reservation_) endReservation();
    releaseAll();
}

std::vector<Monitor> X11Displays::monitors() {
    Display* dpy = session_.display();
    std::vector<Monitor> result;
    int count = 0;
    XRRMonitorInfo* info = session_.randrEventBase() >= 0 ? XRRGetMonitors(dpy, session_.root(), True, &count) : nullptr;
    for (int i = 0; info && i < count; ++i) {
        Monitor monitor;
        monitor.id = static_cast<DisplayID>(info[i].name);
        monitor.x = info[i].x;
        monitor.y = info[i].y;
        monitor.width = info[i].width;
        monitor.height = info[i].height;
        monitor.primary = info[i].primary;
        result.push_back(monitor);
    }
    if (info) XRRFreeMonitors(info);
    if (result.empty()) {
        Monitor whole;
        whole.id = 1;
        whole.width = DisplayWidth(dpy, DefaultScreen(dpy));
        whole.height = DisplayHeight(dpy, DefaultScreen(dpy));
        whole.primary = true;
        result.push_back(whole);
    }
    // The main monitor is the primary one, else the one at the origin.
    auto main = std::find_if(result.begin(), result.end(), [](const Monitor& m) { return m.primary; });
    if (main == result.end())
        main = std::find_if(result.begin(), result.end(), [](const Monitor& m) { return m.x == 0 && m.y == 0; });
    if (main != result.end() && main != result.begin()) std::rotate(result.begin(), main, main + 1);
    return result;
}

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

void X11Displays::coverMonitor(const Monitor& monitor) {
    Display* dpy = session_.display();
    auto existing = covers_.find(monitor.id);
    if (existing != covers_.end()) {
        XMoveResizeWindow(dpy, existing->second, monitor.x, monitor.y, static_cast<unsigned>(monitor.width),
                          static_cast<unsigned>(monitor.height));
        return;
    }
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(dpy, DefaultScreen(dpy));
    const ::Window cover = XCreateWindow(dpy, session_.root(), monitor.x, monitor.y,
                                         static_cast<unsigned>(monitor.width), static_cast<unsigned>(monitor.height), 0,
                                         CopyFromParent, InputOutput, CopyFromParent,
                                         CWOverrideRedirect | CWBackPixel, &attributes);
    XStoreName(dpy, cover, "Tarnwick cover");
    XClassHint hint{const_cast<char*>("tarnwick-cover"), const_cast<char*>("Tarnwick")};
    XSetClassHint(dpy, cover, &hint);
    XMapRaised(dpy, cover);
    covers_[monitor.id] = cover;
}

int X11Displays::capture(DisplayID display, std::uint32_t) {
    const std::vector<Monitor> all = monitors();
    auto monitor = std::find_if(all.begin(), all.end(), [display](const Monitor& m) { return m.id == display; });
    if (monitor == all.end()) return kIllegalArgument;
    const bool newCover = !covers_.count(display);
    coverMonitor(*monitor);
    if (!grabbed_ && !grabInput()) {
        // Never a lock without the keyboard: give back what this call took.
        if (newCover) {
            XDestroyWindow(session_.display(), covers_[display]);
            covers_.erase(display);
        }
        XSync(session_.display(), False);
        return kCannotComplete;
    }
    restack();
    XSync(session_.display(), False);
    return 0;
}

bool X11Displays::grabInput() {
    Display* dpy = session_.display();
    if (!grabWindow_) {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        grabWindow_ = XCreateWindow(dpy, session_.root(), -1, -1, 1, 1, 0, 0, InputOnly, CopyFromParent,
                                    CWOverrideRedirect, &attributes);
        XSelectInput(dpy, grabWindow_, KeyPressMask | KeyReleaseMask);
    }
    XMapRaised(dpy, grabWindow_);
    XSync(dpy, False);
    for (int attempt = 1; attempt <= kGrabAttempts; ++attempt) {
        const int keyboard = XGrabKeyboard(dpy, grabWindow_, False, GrabModeAsync, GrabModeAsync, CurrentTime);
        const int pointer = keyboard == GrabSuccess
                                ? XGrabPointer(dpy, grabWindow_, False,
                                               ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                                               GrabModeAsync, None, None, CurrentTime)
                                : GrabFrozen;
        if (keyboard == GrabSuccess && pointer == GrabSuccess && grabExtraMasterDevices()) {
            grabbed_ = true;
            keyEvents_.reset();
            // Other windows that appear or move are pushed below the covers.
            setRootSubstructureWatch(true);
            coveredMonitors_ = monitors();
            monitorWatch_.start();
            return true;
        }
        ungrabInput();
        log("the keyboard or the pointer is held by another client (attempt " + std::to_string(attempt) + " of " +
            std::to_string(kGrabAttempts) + ")");
        if (attempt < kGrabAttempts) std::this_thread::sleep_for(kGrabRetryPause);
    }
    XUnmapWindow(dpy, grabWindow_);
    XSync(dpy, False);
    return false;
}

bool X11Displays::grabExtraMasterDevices() {
    if (!session_.hasXInput2()) return true;
    Display* dpy = session_.display();
    int clientPointer = 0;
    XIGetClientPointer(dpy, None, &clientPointer);
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(dpy, XIAllMasterDevices, &count);
    int coreKeyboard = -1;
    for (int i = 0; i < count; ++i)
        if (devices[i].deviceid == clientPointer) coreKeyboard = devices[i].attachment;
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
        const XIDeviceInfo& device = devices[i];
        if (device.deviceid == clientPointer || device.deviceid == coreKeyboard) continue;
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XIEventMask mask{device.deviceid, sizeof bits, bits};
        if (device.use == XIMasterKeyboard) {
            XISetMask(bits, XI_KeyPress);
            XISetMask(bits, XI_KeyRelease);
        } else {
            XISetMask(bits, XI_ButtonPress);
            XISetMask(bits, XI_Motion);
        }
        const Status status = XIGrabDevice(dpy, device.deviceid, grabWindow_, CurrentTime, None, XIGrabModeAsync,
                                           XIGrabModeAsync, False, &mask);
        if (status == GrabSuccess)
            grabbedDevices_.push_back(device.deviceid);
        else
            ok = false;
    }
    XIFreeDeviceInfo(devices);
    return ok;
}

void X11Displays::setRootSubstructureWatch(bool on) {
    Display* dpy = session_.display();
    XWindowAttributes attributes{};
    XGetWindowAttributes(dpy, session_.root(), &attributes);
    const long mask = on ? (attributes.your_event_mask | SubstructureNotifyMask)
                         : (attributes.your_event_mask & ~SubstructureNotifyMask);
    XSelectInput(dpy, session_.root(), mask);
}

void X11Displays::ungrabInput() {
    Display* dpy = session_.display();
    for (int device : grabbedDevices_) XIUngrabDevice(dpy, device, CurrentTime);
    grabbedDevices_.clear();
    XUngrabPointer(dpy, CurrentTime);
    XUngrabKeyboard(dpy, CurrentTime);
    XSync(dpy, False);
}

int X11Displays::releaseAll() {
    Display* dpy = session_.display();
    if (grabbed_) setRootSubstructureWatch(false);
    monitorWatch_.stop();
    ungrabInput();
    grabbed_ = false;
    if (grabWindow_) XUnmapWindow(dpy, grabWindow_);
    for (const auto& [id, cover] : covers_) XDestroyWindow(dpy, cover);
    covers_.clear();
    XSync(dpy, False);
    return 0;
}

void X11Displays::addShieldWindow(unsigned long window) {
    shields_.insert(window);
    if (grabbed_) restack();
}

void X11Displays::removeShieldWindow(unsigned long window) { shields_.erase(window); }

void X11Displays::restack() {
    Display* dpy = session_.display();
    for (const auto& [id, cover] : covers_) XRaiseWindow(dpy, cover);
    for (unsigned long shield : shields_) XRaiseWindow(dpy, shield);
    XFlush(dpy);
}

void X11Displays::scheduleRestack() {
    if (restackPending_) return;
    restackPending_ = true;
    QTimer::singleShot(0, [this] {
        restackPending_ = false;
        if (grabbed_) restack();
    });
}

void X11Displays::followMonitors() {
    const std::vector<Monitor> current = monitors();
    coveredMonitors_ = current;
    for (const Monitor& monitor : current) coverMonitor(monitor);
    for (auto it = covers_.begin(); it != covers_.end();) {
        const bool gone = std::none_of(current.begin(), current.end(), [&](const Monitor& m) { return m.id == it->first; });
        if (gone) {
            XDestroyWindow(session_.display(), it->second);
            it = covers_.erase(it);
        } else {
            ++it;
        }
    }
    restack();
}

void X11Displays::deliver(const EventRef& event) {
    // The shielding window in front gets the input, else the key window.
    Window* target = nullptr;
    for (Window* window : Window::orderedWindows()) {
        if (window->level() >= windowlevel::Shielding) {
            target = window;
            break;
        }
    }
    if (!target) target = Window::keyWindow();
    if (target) target->sendEvent(event);
}

bool X11Displays::handleEvent(XEvent& event) {
    const int randrBase = session_.randrEventBase();
    if (randrBase >= 0 && (event.type == randrBase + RRScreenChangeNotify || event.type == randrBase + RRNotify)) {
        XRRUpdateConfiguration(&event);
        if (grabbed_) followMonitors();
        return false;
    }
    if (!grabbed_) return false;
    switch (event.type) {
        case KeyPress:
        case KeyRelease:
            if (event.xkey.window != grabWindow_) return false;
            if (auto translated = keyEvents_.translate(event.xkey, session_.modifierMasks());
                translated && event.type == KeyPress)
                deliver(translated);
            return true;
        case ButtonPress: {
            if (event.xbutton.button >= 4 && event.xbutton.button <= 7) {
                deliver(Event::ofType(Event::Type::ScrollWheel));
                return true;
            }
            const auto type = event.xbutton.button == Button1   ? Event::Type::LeftMouseDown
                              : event.xbutton.button == Button3 ? Event::Type::RightMouseDown
                                                                : Event::Type::OtherMouseDown;
            deliver(Event::ofType(type));
            return true;
        }
        case MotionNotify: deliver(Event::ofType(Event::Type::MouseMoved)); return true;
        case ButtonRelease: return true;
        case CirculateNotify:
            // A circulation moves a window to the top or bottom without
            // configuring it, and may be one of the covers sent to the bottom.
            scheduleRestack();
            return false;
        case MapNotify:
        case ConfigureNotify: {
            const ::Window window = event.type == MapNotify ? event.xmap.window : event.xconfigure.window;
            const bool ours = window == grabWindow_ || shields_.count(window) ||
                              std::any_of(covers_.begin(), covers_.end(), [window](const auto& c) { return c.second == window; });
            if (!ours) scheduleRestack();
            return false;
        }
        default: return false;
    }
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

std::vector<GammaRamp> X11Displays::readRamps() {
    std::vector<GammaRamp> ramps;
    if (session_.randrEventBase() < 0) return ramps;
    Display* dpy = session_.display();
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(dpy, session_.root());
    if (!resources) return ramps;
    for (int i = 0; i < resources->ncrtc; ++i) {
        const RRCrtc crtc = resources->crtcs[i];
        const int size = XRRGetCrtcGammaSize(dpy, crtc);
        if (size <= 0) continue;
        XRRCrtcGamma* gamma = XRRGetCrtcGamma(dpy, crtc);
        if (!gamma) continue;
        GammaRamp ramp;
        ramp.crtc = crtc;
        ramp.red.assign(gamma->red, gamma->red + size);
        ramp.green.assign(gamma->green, gamma->green + size);
        ramp.blue.assign(gamma->blue, gamma->blue + size);
        XRRFreeGamma(gamma);
        ramps.push_back(std::move(ramp));
    }
    XRRFreeScreenResources(resources);
    return ramps;
}

void X11Displays::applyBlend(double blend, double red, double green, double blue) {
    Display* dpy = session_.display();
    blend = std::clamp(blend, 0.0, 1.0);
    auto mix = [blend](std::uint16_t original, double level) {
        const double solid = std::clamp(level, 0.0, 1.0) * 65535.0;
        return static_cast<unsigned short>(std::lround(original * (1.0 - blend) + solid * blend));
    };
    for (const GammaRamp& ramp : savedRamps_) {
        const int size = static_cast<int>(ramp.red.size());
        XRRCrtcGamma* gamma = XRRAllocGamma(size);
        if (!gamma) continue;
        for (int i = 0; i < size; ++i) {
            gamma->red[i] = mix(ramp.red[i], red);
            gamma->green[i] = mix(ramp.green[i], green);
            gamma->blue[i] = mix(ramp.blue[i], blue);
        }
        XRRSetCrtcGamma(dpy, ramp.crtc, gamma);
        XRRFreeGamma(gamma);
    }
    XFlush(dpy);
}

void X11Displays::restoreRamps() {
    applyBlend(0.0, 0, 0, 0);
    XSync(session_.display(), False);
}

int X11Displays::acquireFadeReservation(double seconds, std::uint32_t& token) {
    if (reservation_) return kNoneAvailable;
    if (seconds <= 0) return kIllegalArgument;
    savedRamps_ = readRamps();
    watchdog_.remember(savedRamps_);
    reservation_ = nextToken_++;
    if (nextToken_ == 0) nextToken_ = 1;
    token = reservation_;
    reservationExpiry_.start(static_cast<int>(seconds * 1000));
    return 0;
}

int X11Displays::fade(std::uint32_t token, double duration, double startBlend, double endBlend, double red,
                      double green, double blue, bool synchronous) {
    if (!reservation_ || token != reservation_) return kIllegalArgument;
    const int steps = std::max(1, static_cast<int>(std::lround(duration * kFadeStepsPerSecond)));
    const auto pause = std::chrono::duration<double>(duration / steps);
    auto step = [=, this](int i) { applyBlend(startBlend + (endBlend - startBlend) * i / steps, red, green, blue); };
    if (!synchronous) {
        // Steps on the main loop; the fade stops if the reservation ends.
        for (int i = 0; i <= steps; ++i)
            QTimer::singleShot(static_cast<int>(std::lround(1000.0 * duration * i / steps)), [=, this] {
                if (reservation_ == token) step(i);
            });
        return 0;
    }
    for (int i = 0; i <= steps; ++i) {
        step(i);
        if (i < steps) std::this_thread::sleep_for(pause);
    }
    XSync(session_.display(), False);
    return 0;
}

int X11Displays::releaseFadeReservation(std::uint32_t token) {
    if (!reservation_ || token != reservation_) return kIllegalArgument;
    endReservation();
    return 0;
}

void X11Displays::endReservation() {
    reservationExpiry_.stop();
    restoreRamps();
    watchdog_.forget();
    savedRamps_.clear();
    reservation_ = 0;
}

}  // namespace platform::desktop
