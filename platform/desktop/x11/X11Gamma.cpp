#include "platform/desktop/x11/X11Gamma.h"

#include <X11/extensions/Xrandr.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace platform::desktop {

namespace {

constexpr double kFadeStepsPerSecond = 60.0;

}  // namespace

X11Gamma::X11Gamma(X11Session& session, LockGuard& guard) : session_(session), guard_(guard) {
    reservationExpiry_.setSingleShot(true);
    QObject::connect(&reservationExpiry_, &QTimer::timeout, [this] { endReservation(); });
}

X11Gamma::~X11Gamma() {
    if (reservation_) endReservation();
}

std::vector<GammaRamp> X11Gamma::readRamps() {
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

void X11Gamma::applyBlend(double blend, double red, double green, double blue) {
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

int X11Gamma::acquireReservation(double seconds, std::uint32_t& token, int busy, int illegal) {
    if (reservation_) return busy;
    if (seconds <= 0) return illegal;
    savedRamps_ = readRamps();
    guard_.remember(savedRamps_);
    reservation_ = nextToken_++;
    if (nextToken_ == 0) nextToken_ = 1;
    token = reservation_;
    reservationExpiry_.start(static_cast<int>(seconds * 1000));
    return 0;
}

int X11Gamma::fade(std::uint32_t token, double duration, double startBlend, double endBlend, double red, double green,
                   double blue, bool synchronous) {
    if (!reservation_ || token != reservation_) return -1;
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

bool X11Gamma::release(std::uint32_t token) {
    if (!reservation_ || token != reservation_) return false;
    endReservation();
    return true;
}

void X11Gamma::endReservation() {
    reservationExpiry_.stop();
    applyBlend(0.0, 0, 0, 0);
    XSync(session_.display(), False);
    guard_.forget();
    savedRamps_.clear();
    reservation_ = 0;
}

}  // namespace platform::desktop
