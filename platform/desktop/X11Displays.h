#pragma once

#include <QTimer>

#include "platform/desktop/GammaWatchdog.h"
#include "platform/desktop/X11KeyEvents.h"
#include "platform/desktop/X11Session.h"
#include "platform/services/Displays.h"

#include <map>
#include <set>
#include <vector>

namespace platform::desktop {

// One monitor in X root coordinates.
struct Monitor {
    DisplayID id = 0;
    int x = 0, y = 0, width = 0, height = 0;
    bool primary = false;
    bool operator==(const Monitor&) const = default;
};

// Displays on X11. Capturing covers each monitor with an override-redirect
// window and takes the keyboard and the pointer (and every further XInput2
// master device) for the application; the covers are kept above every other
// window and follow monitors that come, go or change while captured. Key and
// pointer input under the grab goes to the key window of the application.
// Fades blend the gamma ramps of every CRTC.
class X11Displays final : public Displays {
public:
    X11Displays(X11Session& session, GammaWatchdog& watchdog);
    ~X11Displays() override;

    int onlineDisplays(std::uint32_t maxDisplays, std::vector<DisplayID>& out) override;
    DisplayID mainDisplay() override;
    std::vector<Rect> screenFrames() override;

    int capture(DisplayID display, std::uint32_t options) override;
    int releaseAll() override;

    int hideCursor(DisplayID display) override;
    int showCursor(DisplayID display) override;

    int acquireFadeReservation(double seconds, std::uint32_t& token) override;
    int fade(std::uint32_t token, double duration, double startBlend, double endBlend, double red, double green,
             double blue, bool synchronous) override;
    int releaseFadeReservation(std::uint32_t token) override;

    // Monitors, main first.
    std::vector<Monitor> monitors();
    // Windows of the application that belong above the covers (the lock
    // window); they are raised with the covers.
    void addShieldWindow(unsigned long window);
    void removeShieldWindow(unsigned long window);
    bool isCaptured() const { return grabbed_; }
    // Converts a frame in screen coordinates (bottom-left origin on the main
    // screen) into X root coordinates, and back.
    Rect toRoot(const Rect& frame);
    Rect fromRoot(const Rect& frame);

    // Status codes, as the platform's display services answer them.
    static constexpr int kFailure = 1000;
    static constexpr int kIllegalArgument = 1001;
    static constexpr int kCannotComplete = 1004;
    static constexpr int kNoneAvailable = 1011;

private:
    bool handleEvent(XEvent& event);
    void coverMonitor(const Monitor& monitor);
    void followMonitors();
    bool grabInput();
    void ungrabInput();
    bool grabExtraMasterDevices();
    void setRootSubstructureWatch(bool on);
    void restack();
    void scheduleRestack();
    void deliver(const EventRef& event);

    std::vector<GammaRamp> readRamps();
    void applyBlend(double blend, double red, double green, double blue);
    void restoreRamps();
    void endReservation();

    X11Session& session_;
    GammaWatchdog& watchdog_;
    X11KeyEvents keyEvents_;
    int listener_ = 0;

    ::Window grabWindow_ = 0;
    std::map<DisplayID, ::Window> covers_;
    std::set<unsigned long> shields_;
    bool grabbed_ = false;
    std::vector<int> grabbedDevices_;
    bool cursorHidden_ = false;
    bool restackPending_ = false;

    std::vector<GammaRamp> savedRamps_;
    std::uint32_t reservation_ = 0;
    std::uint32_t nextToken_ = 1;
    QTimer reservationExpiry_;
    // Monitors defined without an output change (RandR 1.5 virtual
    // monitors) send no event; while captured they are looked for.
    QTimer monitorWatch_;
    std::vector<Monitor> coveredMonitors_;
};

}  // namespace platform::desktop
