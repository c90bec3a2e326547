#pragma once

#include "platform/headless/InjectedStatus.h"
#include "platform/services/Displays.h"

#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace platform::headless {

// Displays in memory: a list of screens, their captures, the cursor and the
// fade reservation with the fades made under it.
class HeadlessDisplays final : public Displays {
public:
    enum class Call {
        OnlineDisplays,
        Capture,
        ReleaseAll,
        HideCursor,
        ShowCursor,
        AcquireFadeReservation,
        Fade,
        ReleaseFadeReservation
    };
    explicit HeadlessDisplays(int displayCount = 2);

    int onlineDisplays(std::uint32_t maxDisplays, std::vector<DisplayID>& out) override;
    DisplayID mainDisplay() override;
    std::vector<Rect> screenFrames() override;
    int capture(DisplayID display, std::uint32_t options) override;
    int releaseAll() override;
    void captureAll(std::function<void(CaptureOutcome)> done) override;
    void setCaptureLostHandler(std::function<void()> lost) override;
    int hideCursor(DisplayID display) override;
    int showCursor(DisplayID display) override;
    int acquireFadeReservation(double seconds, std::uint32_t& token) override;
    int fade(std::uint32_t token, double duration, double startBlend, double endBlend, double red, double green,
             double blue, bool synchronous) override;
    int releaseFadeReservation(std::uint32_t token) override;

    // Scripting.
    void setDisplayCount(int count);
    void failCall(Call call, int status) { statuses_.set(call, status); }
    void failCaptureOf(DisplayID display, int status);
    void clearFailures();
    // Captures answer at once unless held: then the test answers, later, as
    // a display server that takes its time does.
    void holdCaptureAnswers(bool hold) { holdAnswers_ = hold; }
    bool captureAnswerPending() const { return static_cast<bool>(pendingCapture_); }
    void answerCapture(CaptureOutcome outcome);
    // The display server takes a lock that held away.
    void loseCapture();

    // Observation.
    struct FadeRecord {
        std::uint32_t token;
        double duration, startBlend, endBlend, red, green, blue;
        bool synchronous;
    };
    std::vector<DisplayID> displays() const;
    std::map<DisplayID, std::uint32_t> captured() const;  // display → capture options
    bool anyCaptured() const { return !captured().empty(); }
    int releaseAllCount() const;
    bool cursorHidden() const;
    std::vector<FadeRecord> fades() const;
    // The blend the displays show now: 0 normal, 1 covered by the fade colour.
    double currentBlend() const;
    bool reservationHeld() const;

private:
    bool reservationLiveLocked() const;
    CaptureOutcome captureEveryDisplay();

    bool holdAnswers_ = false;
    std::function<void(CaptureOutcome)> pendingCapture_;
    std::function<void()> captureLost_;

    InjectedStatus<Call> statuses_;
    mutable std::mutex lock_;
    std::vector<DisplayID> displays_;
    std::map<DisplayID, int> captureFailures_;
    std::map<DisplayID, std::uint32_t> captured_;
    int releaseAllCount_ = 0;
    int cursorHideCount_ = 0;
    std::vector<FadeRecord> fades_;
    double blend_ = 0.0;
    std::uint32_t nextToken_ = 1;
    std::uint32_t heldToken_ = 0;
    double reservationEnd_ = 0.0;
};

}  // namespace platform::headless
