#pragma once

#include <QTimer>

#include "platform/desktop/LockGuard.h"
#include "platform/desktop/x11/X11Session.h"

#include <cstdint>
#include <vector>

namespace platform::desktop {

// Display fades through the gamma ramps of every CRTC, with the one
// reservation at a time that fades need. The ramps in place when a
// reservation begins are what every fade blends from, what the end of the
// reservation (released or expired) puts back, and what the lock guard puts
// back should the application die meanwhile.
class X11Gamma {
public:
    X11Gamma(X11Session& session, LockGuard& guard);
    ~X11Gamma();

    // Status codes as the displays answer them: 0, or the given failure.
    int acquireReservation(double seconds, std::uint32_t& token, int busy, int illegal);
    int fade(std::uint32_t token, double duration, double startBlend, double endBlend, double red, double green,
             double blue, bool synchronous);
    bool release(std::uint32_t token);

private:
    std::vector<GammaRamp> readRamps();
    void applyBlend(double blend, double red, double green, double blue);
    void endReservation();

    X11Session& session_;
    LockGuard& guard_;
    std::vector<GammaRamp> savedRamps_;
    std::uint32_t reservation_ = 0;
    std::uint32_t nextToken_ = 1;
    QTimer reservationExpiry_;
};

}  // namespace platform::desktop
