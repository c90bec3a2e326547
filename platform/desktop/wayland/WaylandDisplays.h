#pragma once

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include "platform/desktop/qt/ShieldHost.h"
#include "platform/desktop/wayland/LockClient.h"
#include "platform/services/Displays.h"
#include "platform/ui/Event.h"

#include <functional>
#include <memory>

namespace platform::desktop {

class LockGuard;

namespace wayland {

class WaylandGamma;

// Displays on Wayland: capturing is the compositor's session lock
// (ext-session-lock-v1) on a connection of the backend's own, read through
// a socket notifier. The lock counts as held at `locked`; the lock window's
// widget is drawn with QPainter into the lock surface of the main output,
// every other output shows black, and the keys of the lock's keyboard reach
// the frontmost shielding window as on X11. Fades and the cursor are the
// compositor's: nothing to do here.
class WaylandDisplays final : public QObject, public Displays, public ShieldHost {
public:
    WaylandDisplays(std::unique_ptr<wayland::LockClient> client, LockGuard& guard);
    ~WaylandDisplays() override;

    int onlineDisplays(std::uint32_t maxDisplays, std::vector<DisplayID>& out) override;
    DisplayID mainDisplay() override { return 1; }
    std::vector<Rect> screenFrames() override;
    // The first capture of a lock asks the compositor and waits for its
    // answer (a few milliseconds); the others find the lock held.
    int capture(DisplayID display, std::uint32_t options) override;
    int releaseAll() override;
    int hideCursor(DisplayID) override { return 0; }
    int showCursor(DisplayID) override { return 0; }
    int acquireFadeReservation(double seconds, std::uint32_t& token) override;
    int fade(std::uint32_t token, double duration, double startBlend, double endBlend, double red, double green,
             double blue, bool synchronous) override;
    int releaseFadeReservation(std::uint32_t token) override;
    // Fades go through the compositor's gamma tables where it offers them;
    // without, a fade changes nothing on the screen.
    void useGamma(WaylandGamma* gamma) { gamma_ = gamma; }

    // The asynchronous lock: `done` runs once, later, on the main thread,
    // Held at `locked` and Refused at `finished`.
    void captureAll(std::function<void(CaptureOutcome)> done) override;
    // Runs on the main thread when a lock that held ends without our unlock.
    void setCaptureLostHandler(std::function<void()> lost) override;

    Rect toRoot(const Rect& frame) override { return {0, 0, frame.width, frame.height}; }
    bool drawsShieldWindows() const override { return true; }
    void addShieldWindow(QWidget* widget, std::function<void()> lost) override;
    void removeShieldWindow(QWidget* widget) override;

    bool isCaptured() const { return client_->state() == wayland::LockState::Locked; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool requestLock();
    void onLocked();
    void onEnded(wayland::LockEnd end);
    void onKey(const wayland::TypedKey& press);
    void paint(wayland::Canvas& canvas);
    void scheduleRedraw();
    void finishCapture(CaptureOutcome outcome);

    std::unique_ptr<wayland::LockClient> client_;
    LockGuard& guard_;
    QSocketNotifier notifier_;
    QTimer heartbeat_;
    QPointer<QWidget> shield_;
    std::function<void(CaptureOutcome)> pendingCapture_;
    std::function<void()> captureLost_;
    bool redrawScheduled_ = false;
    bool painting_ = false;
    std::uint32_t fadeToken_ = 0;
    WaylandGamma* gamma_ = nullptr;
};

}  // namespace wayland
}  // namespace platform::desktop
