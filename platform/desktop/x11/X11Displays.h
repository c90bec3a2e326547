#pragma once

#include <QAbstractNativeEventFilter>
#include <QTimer>

#include "platform/desktop/LockGuard.h"
#include "platform/desktop/x11/X11Covers.h"
#include "platform/desktop/x11/X11Gamma.h"
#include "platform/desktop/x11/X11Grabs.h"
#include "platform/desktop/x11/X11KeyEvents.h"
#include "platform/desktop/x11/X11Keyboard.h"
#include "platform/desktop/x11/X11Monitors.h"
#include "platform/desktop/x11/X11Session.h"
#include "platform/services/Displays.h"

#include <functional>
#include <vector>

namespace platform::desktop {

// Displays on X11. Capturing covers every monitor (X11Covers) and takes the
// keyboard, the pointer and every further XInput2 master device on the root
// window (X11Grabs); both are defended against other clients for as long as
// the capture lasts, and the lock guard is told, so that a death of the
// application leaves the session locked. Key and pointer input under the
// grab goes to the application's frontmost shielding window, else its key
// window. Fades blend the gamma ramps of every CRTC (X11Gamma).
class X11Displays final : public Displays {
public:
    X11Displays(X11Session& session, LockGuard& guard);
    ~X11Displays() override;

    int onlineDisplays(std::uint32_t maxDisplays, std::vector<DisplayID>& out) override;
    DisplayID mainDisplay() override;
    std::vector<Rect> screenFrames() override;

    int capture(DisplayID display, std::uint32_t options) override;
    int releaseAll() override;
    void captureAll(std::function<void(CaptureOutcome)> done) override;
    // The lock holds on X11 for as long as the application lives: a lost
    // grab or cover is taken back, never given up.
    void setCaptureLostHandler(std::function<void()> lost) override { captureLost_ = std::move(lost); }

    int hideCursor(DisplayID display) override;
    int showCursor(DisplayID display) override;

    int acquireFadeReservation(double seconds, std::uint32_t& token) override;
    int fade(std::uint32_t token, double duration, double startBlend, double endBlend, double red, double green,
             double blue, bool synchronous) override;
    int releaseFadeReservation(std::uint32_t token) override;

    // Monitors, main first.
    std::vector<Monitor> monitors();
    // Windows of the application that belong above the covers (the lock
    // window); they are raised with the covers. `lost` runs when another
    // client destroys the window while captured.
    void addShieldWindow(unsigned long window, std::function<void()> lost = nullptr);
    void removeShieldWindow(unsigned long window);
    bool isCaptured() const { return grabs_.held(); }
    // The covering windows, for tests.
    std::vector<unsigned long> coverWindows() const { return covers_.windows(); }
    // Whose windows are raised over rather than hidden (the application's
    // and its guard's); tests take their own windows for another process's.
    void trustProcesses(std::function<bool(pid_t)> trusted) { covers_.trustProcesses(std::move(trusted)); }
    // Converts a frame in screen coordinates (bottom-left origin on the main
    // screen) into X root coordinates, and back.
    Rect toRoot(const Rect& frame);
    Rect fromRoot(const Rect& frame);

private:
    // Event routing (X11DisplaysEvents.cpp).
    bool handleEvent(XEvent& event);
    bool handleInput(XEvent& event);
    bool handleXInput(XEvent& event);
    void handleStacking(XEvent& event);
    void deliver(const EventRef& event);

    bool takeGrabs();
    void tryCaptureAll();
    void finishCapture(CaptureOutcome outcome);
    void startDefending();
    void stopDefending();
    void beat();
    void returnFreedMemoryLater();
    void followMonitors();
    bool isRootReconfigured(const XEvent& event) const;

    X11Session& session_;
    LockGuard& guard_;
    X11KeyEvents keyEvents_;
    X11Keyboard keyboard_;
    X11Covers covers_;
    X11Grabs grabs_;
    X11Gamma gamma_;
    int listener_ = 0;
    bool cursorHidden_ = false;

    // While captured: the guard hears from the application, and every few
    // beats the grabs and the stacking are checked, in case one was lost
    // without an event saying so (events answer every known way at once).
    QTimer heartbeat_;
    int beatsSinceCheck_ = 0;
    std::vector<Monitor> coveredMonitors_;

    // A capture waiting for a grab another client holds: tried again on a
    // timer, a few times, never by sleeping.
    QTimer captureRetry_;
    int captureAttempts_ = 0;
    std::function<void(CaptureOutcome)> captureDone_;
    std::function<void()> captureLost_;

    // While captured, the pointer crossing into or out of the lock window
    // (as other clients restack windows under it) is not Qt's to answer: Qt
    // asks the server about the pointer's devices, and waits for the reply,
    // at every crossing, so that a restacking flood would keep the main
    // thread waiting for seconds.
    class CrossingFilter final : public QAbstractNativeEventFilter {
    public:
        explicit CrossingFilter(const X11Displays& displays) : displays_(displays) {}
        bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

    private:
        const X11Displays& displays_;
    };
    CrossingFilter crossingFilter_{*this};
};

}  // namespace platform::desktop
