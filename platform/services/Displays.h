#pragma once

#include "platform/services/Service.h"
#include "platform/ui/Geometry.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace platform {

using DisplayID = std::uint32_t;

enum class CaptureOutcome { Held, Refused };

// The displays, their capture for the lock, the cursor, and display fades.
// Every call answers 0 for success and a non-zero status otherwise.
class Displays : public Service<Displays> {
public:
    virtual ~Displays() = default;

    // Status codes, as the platform's display services answer them; 0 is
    // success. kIllegalArgument: a fade or release with a token that is not
    // the held reservation; kNoneAvailable: a reservation while another is
    // held.
    static constexpr int kFailure = 1000;
    static constexpr int kIllegalArgument = 1001;
    static constexpr int kCannotComplete = 1004;
    static constexpr int kNoneAvailable = 1011;

    // Up to `maxDisplays` online displays, main display first.
    virtual int onlineDisplays(std::uint32_t maxDisplays, std::vector<DisplayID>& out) = 0;
    virtual DisplayID mainDisplay() = 0;
    // Frames of the screens (one per display), main screen first, in screen
    // coordinates with the origin at the bottom left of the main screen.
    virtual std::vector<Rect> screenFrames() = 0;

    static constexpr std::uint32_t CaptureNoFill = 1;
    // Captures one display for this application: nothing else can draw on it
    // or take keyboard and pointer input while captured.
    virtual int capture(DisplayID display, std::uint32_t options) = 0;
    virtual int releaseAll() = 0;

    // Takes every online display for the lock. `done` runs once, later, on the main thread: Held once the
    // lock holds (X11: grabs and covers taken, a held grab retried on a timer first), Refused when it cannot be made.
    virtual void captureAll(std::function<void(CaptureOutcome)> done) = 0;
    // Runs on the main thread when a lock that held is taken away by the display server.
    virtual void setCaptureLostHandler(std::function<void()> lost) = 0;

    virtual int hideCursor(DisplayID display) = 0;
    virtual int showCursor(DisplayID display) = 0;

    // Fade reservations: `acquireFadeReservation` fills `token`. A fade blends
    // every display from `startBlend` to `endBlend` (0 normal, 1 solid colour)
    // towards the colour (red, green, blue), synchronously when asked.
    virtual int acquireFadeReservation(double seconds, std::uint32_t& token) = 0;
    virtual int fade(std::uint32_t token, double duration, double startBlend, double endBlend, double red, double green,
                     double blue, bool synchronous) = 0;
    virtual int releaseFadeReservation(std::uint32_t token) = 0;
};

// The display power manager: idle the displays now.
class DisplayPower : public Service<DisplayPower> {
public:
    virtual ~DisplayPower() = default;
    // False when the power entry cannot be found.
    virtual bool hasPowerEntry() = 0;
    virtual void requestIdle() = 0;
};

// The system interface mode: menu bar, Dock, process switching.
class SystemUIMode : public Service<SystemUIMode> {
public:
    virtual ~SystemUIMode() = default;
    static constexpr std::uint32_t Normal = 0;
    static constexpr std::uint32_t AllHidden = 3;
    virtual int set(std::uint32_t mode, std::uint32_t options) = 0;
    virtual std::string errorString(int status) = 0;
    virtual std::string commentString(int status) = 0;
};

}  // namespace platform
